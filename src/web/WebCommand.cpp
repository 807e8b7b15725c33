// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebCommand.h"

#include "show/Board.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

/// A whole number within lo..hi, or nothing.
std::optional<int> whole(const QJsonValue& v, int lo, int hi)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < lo || d > hi)
        return std::nullopt;
    return static_cast<int>(d);
}

std::optional<WebCommand> refuse(QString* why, const char* text)
{
    if (why)
        *why = QString::fromLatin1(text);
    return std::nullopt;
}

} // namespace

std::optional<WebCommand> WebCommand::parse(const QByteArray& message, QString* why)
{
    if (message.size() > MaxBytes)
        return refuse(why, "too long");
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return refuse(why, "no JSON object");
    const QJsonObject o = doc.object();
    const QJsonValue cmd = o.value(QLatin1String("cmd"));
    if (!cmd.isString())
        return refuse(why, "no cmd");
    const QString name = cmd.toString();

    WebCommand c;
    static const struct {
        const char* name;
        Kind kind;
    } plain[] = {
        {"play", Kind::Play}, {"stop", Kind::Stop}, {"stopall", Kind::StopAll}, {"pause", Kind::Pause}};
    for (const auto& p : plain) {
        if (name == QLatin1String(p.name)) {
            c.kind = p.kind;
            return c;
        }
    }
    if (name == QLatin1String("press") || name == QLatin1String("release") ||
        name == QLatin1String("queue")) {
        const auto sheet = whole(o.value(QLatin1String("sheet")), 0, Board::Sheets - 1);
        const auto slot = whole(o.value(QLatin1String("slot")), 0, Board::Slots - 1);
        if (!sheet || !slot)
            return refuse(why, "no such button");
        c.kind = name == QLatin1String("press")     ? Kind::Press
                 : name == QLatin1String("release") ? Kind::Release
                                                    : Kind::Queue;
        c.sheet = *sheet;
        c.slot = *slot;
        return c;
    }
    if (name == QLatin1String("fade") || name == QLatin1String("fadeall")) {
        const QJsonValue v = o.value(QLatin1String("speed"));
        const auto speed = v.isUndefined() ? std::optional(0) : whole(v, 0, Board::FadeSpeeds);
        if (!speed)
            return refuse(why, "no such speed");
        c.kind = name == QLatin1String("fade") ? Kind::Fade : Kind::FadeAll;
        c.speed = *speed;
        return c;
    }
    if (name == QLatin1String("stopsound")) {
        const auto id = whole(o.value(QLatin1String("id")), 0, std::numeric_limits<int>::max());
        if (!id)
            return refuse(why, "no such sound");
        c.kind = Kind::StopSound;
        c.id = *id;
        return c;
    }
    if (name == QLatin1String("master")) {
        const QJsonValue v = o.value(QLatin1String("db"));
        const double db = v.isDouble() ? v.toDouble() : NAN;
        if (!std::isfinite(db) || db < MinMasterDb || db > 0)
            return refuse(why, "no such level");
        c.kind = Kind::Master;
        c.db = db;
        return c;
    }
    if (name == QLatin1String("show")) {
        const auto sheet = whole(o.value(QLatin1String("sheet")), 0, Board::Sheets - 1);
        if (!sheet)
            return refuse(why, "no such sheet");
        c.kind = Kind::Show;
        c.sheet = *sheet;
        return c;
    }
    return refuse(why, "unknown command");
}

QString WebCommand::run(Board& board) const
{
    switch (kind) {
    case Kind::Press: {
        const FailedPress failed(board);
        board.press(sheet, slot, PressedBy::Web);
        return failed.message();
    }
    case Kind::Release:
        board.release(sheet, slot, PressedBy::Web);
        break;
    case Kind::Queue:
        board.queue(sheet, slot, PressedBy::Web);
        break;
    case Kind::Play:
        board.play();
        break;
    case Kind::Stop:
        board.stopSong();
        break;
    case Kind::StopAll:
        board.stopAll();
        break;
    case Kind::Pause:
        board.pause();
        break;
    case Kind::Fade:
        board.fade(speed);
        break;
    case Kind::FadeAll:
        board.fadeAll(speed);
        break;
    case Kind::StopSound:
        board.stopSound(id);
        break;
    case Kind::Master:
        board.setMasterLevel(db);
        break;
    case Kind::Show:
        board.showSheet(sheet);
        break;
    }
    return {};
}
