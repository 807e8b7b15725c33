// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {
std::optional<QByteArray> parseHex(const QString& text)
{
    QByteArray bytes;
    for (const QString& part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int value = part.toInt(&ok, 16);
        if (!ok || value < 0 || value > 255)
            return std::nullopt;
        bytes.append(static_cast<char>(value));
    }
    return bytes;
}

std::optional<QList<int>> parseRanges(const QString& text)
{
    QList<int> notes;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool okFrom = false, okTo = true;
        const int from = ends.value(0).toInt(&okFrom);
        const int to = ends.size() == 2 ? ends[1].toInt(&okTo) : from;
        if (!okFrom || !okTo || ends.size() > 2 || from < 0 || to > 127 || from > to)
            return std::nullopt;
        for (int n = from; n <= to; ++n)
            notes << n;
    }
    return notes;
}
} // namespace

std::optional<ControllerProfile> ControllerProfile::parse(const QByteArray& json, QString* why)
{
    const auto fail = [why](const QString& text) -> std::optional<ControllerProfile> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (!doc.isObject())
        return fail(error.errorString());
    const QJsonObject o = doc.object();
    ControllerProfile p;
    p.name = o.value(QLatin1String("name")).toString();
    if (p.name.isEmpty())
        return fail(QStringLiteral("no name"));
    p.match = o.value(QLatin1String("match")).toString();
    const auto init = parseHex(o.value(QLatin1String("init")).toString());
    const auto exit = parseHex(o.value(QLatin1String("exit")).toString());
    if (!init || !exit)
        return fail(QStringLiteral("init or exit is no list of hex bytes"));
    p.init = *init;
    p.exit = *exit;
    const int channel = o.value(QLatin1String("channel")).toInt(1);
    if (channel < 1 || channel > 16)
        return fail(QStringLiteral("channel out of 1..16"));
    const QJsonObject colours = o.value(QLatin1String("colours")).toObject();
    static const char* const names[] = {"empty", "filled", "playing", "next", "queued"}; // SlotState's order
    for (std::size_t i = 0; i < p.colours.size(); ++i) {
        const QJsonValue v = colours.value(QLatin1String(names[i]));
        Colour c{channel, 0};
        if (v.isArray()) {
            c = {v.toArray().at(0).toInt(-1), v.toArray().at(1).toInt(-1)};
        } else if (v.isDouble()) {
            c.velocity = v.toInt(-1);
        } else if (!v.isUndefined()) {
            return fail(QStringLiteral("colour \"%1\" is no velocity").arg(QLatin1String(names[i])));
        }
        if (c.channel < 1 || c.channel > 16 || c.velocity < 0 || c.velocity > 127)
            return fail(QStringLiteral("colour \"%1\" out of range").arg(QLatin1String(names[i])));
        p.colours[i] = c;
    }
    const auto pads = parseRanges(o.value(QLatin1String("pads")).toString());
    if (!pads)
        return fail(QStringLiteral("pads are no note ranges"));
    p.pads = *pads;
    return p;
}

QList<ControllerProfile> ControllerProfile::loadAll(const QStringList& folders, QStringList* problems)
{
    QList<ControllerProfile> profiles;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            QString why;
            std::optional<ControllerProfile> p;
            if (file.size() < 65536 && file.open(QIODevice::ReadOnly))
                p = parse(file.readAll(), &why);
            else
                why = file.errorString();
            if (!p) {
                if (problems)
                    *problems << QStringLiteral("%1: %2").arg(file.fileName(), why);
                continue;
            }
            profiles.removeIf([&](const ControllerProfile& q) { return q.name == p->name; });
            profiles << *p;
        }
    }
    return profiles;
}

QStringList ControllerProfile::folders()
{
    // The installed ones beside the program (also laid out so in the build folder), then the user's.
    return {QDir::cleanPath(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/../share/sonavex/controllers")),
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                QStringLiteral("/Sonavex/controllers")};
}

QByteArray ControllerProfile::colourMessage(int note, SlotState state) const
{
    const Colour& c = colours[static_cast<std::size_t>(state)];
    QByteArray m;
    m.append(static_cast<char>(0x90 | (c.channel - 1)));
    m.append(static_cast<char>(note));
    m.append(static_cast<char>(c.velocity));
    return m;
}
