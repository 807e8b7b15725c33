// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowCopy.h"

#include "platform/AtomicFile.h"
#include "songs/ButtonSettings.h"
#include "songs/SongStruc.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <array>
#include <vector>

namespace {

/// No text of a slot is longer than this; the frame comes from the network.
constexpr qsizetype MaxText = 4096;

QString textOf(const QJsonObject& o, const char* key)
{
    return o.value(QLatin1String(key)).toString().left(MaxText);
}

bool writeFile(const QString& path, const QByteArray& data)
{
    AtomicFileWriter writer;
    return writer.replace(path, data);
}

} // namespace

QJsonObject ShowCopy::toJson(const TSongInfo& songs, const QStringList& sheetNames)
{
    QJsonArray slots;
    for (int sheet = 0; sheet < SheetCount; ++sheet) {
        for (int slot = 0; slot < SlotCount; ++slot) {
            TSongRecord rec;
            if (!songs.GetSong(sheet, slot, rec))
                continue;
            const SongTexts texts = songs.texts(sheet, slot);
            SlotsFile::Keys keys;
            songs.buttonSettings(sheet, slot).writeTo(keys);
            QJsonObject settings;
            for (const auto& [key, value] : std::as_const(keys))
                settings.insert(key, value);
            slots.append(QJsonObject{{QStringLiteral("at"), sheet * SlotCount + slot},
                                     {QStringLiteral("artist"), texts.Artist},
                                     {QStringLiteral("album"), texts.Album},
                                     {QStringLiteral("title"), texts.Title},
                                     {QStringLiteral("file"), texts.FileName},
                                     {QStringLiteral("start"), rec.StartTime.str()},
                                     {QStringLiteral("stop"), rec.StopTime.str()},
                                     {QStringLiteral("fadeStart"), rec.FadeStart.str()},
                                     {QStringLiteral("fadeDuration"), rec.FadeDuration.str()},
                                     {QStringLiteral("settings"), settings}});
        }
    }
    return {{QStringLiteral("t"), QStringLiteral("showcopy")},
            {QStringLiteral("sheets"), QJsonArray::fromStringList(sheetNames)},
            {QStringLiteral("slots"), slots}};
}

std::optional<QStringList> ShowCopy::apply(const QJsonObject& frame, TSongInfo& songs)
{
    if (frame.value(QLatin1String("t")).toString() != QLatin1String("showcopy"))
        return std::nullopt;
    const QJsonArray sheets = frame.value(QLatin1String("sheets")).toArray();
    if (sheets.size() != SheetCount)
        return std::nullopt;
    QStringList names;
    for (const QJsonValue& name : sheets)
        names << name.toString().left(MaxText);

    std::array<const QJsonObject*, SheetCount * SlotCount> at{};
    const QJsonArray slots = frame.value(QLatin1String("slots")).toArray();
    std::vector<QJsonObject> objects;
    objects.reserve(static_cast<std::size_t>(slots.size()));
    for (const QJsonValue& v : slots)
        objects.push_back(v.toObject());
    for (const QJsonObject& o : objects) {
        const int i = o.value(QLatin1String("at")).toInt(-1);
        if (i >= 0 && i < SheetCount * SlotCount)
            at[static_cast<std::size_t>(i)] = &o;
    }
    for (int sheet = 0; sheet < SheetCount; ++sheet) {
        for (int slot = 0; slot < SlotCount; ++slot) {
            const QJsonObject* o = at[static_cast<std::size_t>(sheet * SlotCount + slot)];
            if (!o) {
                songs.ClearSong(sheet, slot);
                continue;
            }
            TSongRecord rec;
            InitSongRecord(rec);
            rec.StartTime.set(textOf(*o, "start"));
            rec.StopTime.set(textOf(*o, "stop"));
            rec.FadeStart.set(textOf(*o, "fadeStart"));
            rec.FadeDuration.set(textOf(*o, "fadeDuration"));
            rec.Sheet = sheet;
            rec.Slot = slot;
            songs.SetSong(sheet, slot, rec,
                          SongTexts{textOf(*o, "artist"), textOf(*o, "album"), textOf(*o, "title"),
                                    textOf(*o, "file")});
            SlotsFile::Keys keys;
            const QJsonObject settings = o->value(QLatin1String("settings")).toObject();
            for (auto it = settings.begin(); it != settings.end(); ++it)
                keys.append({it.key().left(MaxText), it.value().toString().left(MaxText)});
            songs.setButtonSettings(sheet, slot, ButtonSettings::fromKeys(keys));
        }
        // As for a show that moved: the songs found under this board's folder play from there.
        songs.useFoundPaths(sheet);
    }
    return names;
}

QString ShowCopy::keepAside(const TSongInfo& songs, const QDateTime& now)
{
    const auto [data, slots] = songs.imagesRenamed({});
    const QString suffix = QStringLiteral(".before-copy-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString copy = songs.infoPath() + suffix;
    // A board that never saved its show may not have its folder yet.
    if (!QDir().mkpath(QFileInfo(copy).absolutePath()) || !writeFile(copy, data))
        return {};
    if (!slots.isEmpty() && !writeFile(songs.slotsPath() + suffix, slots))
        return {};
    return copy;
}
