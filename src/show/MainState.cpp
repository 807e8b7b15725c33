// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainState.h"

#include "show/Board.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

/// No board plays more than this many layers; a longer list is no frame of ours.
constexpr qsizetype MostLayers = 64;
constexpr qsizetype MostQueued = Board::Sheets * Board::Slots;
/// A player's volume at silence, in hundredths of a dB.
constexpr int SilentVolume = -10000;

bool validSlot(int sheet, int slot)
{
    return sheet >= 0 && sheet < Board::Sheets && slot >= 0 && slot < Board::Slots;
}

QJsonObject soundObject(const MainState::Sound& sound)
{
    return {{QStringLiteral("sheet"), sound.sheet},       {QStringLiteral("slot"), sound.slot},
            {QStringLiteral("position"), sound.position}, {QStringLiteral("paused"), sound.paused},
            {QStringLiteral("fade"), sound.fadeSpeed},    {QStringLiteral("volume"), sound.volume}};
}

/// A sound of a frame; none when its slot is not one of the board's.
std::optional<MainState::Sound> soundOf(const QJsonValue& value)
{
    const QJsonObject o = value.toObject();
    MainState::Sound sound;
    sound.sheet = o.value(QLatin1String("sheet")).toInt(-1);
    sound.slot = o.value(QLatin1String("slot")).toInt(-1);
    if (!validSlot(sound.sheet, sound.slot))
        return std::nullopt;
    const double position = o.value(QLatin1String("position")).toDouble();
    sound.position = std::isfinite(position) ? std::max(0.0, position) : 0.0;
    sound.paused = o.value(QLatin1String("paused")).toBool();
    sound.fadeSpeed = std::clamp(o.value(QLatin1String("fade")).toInt(), 0, Board::FadeSpeeds);
    sound.volume = std::clamp(o.value(QLatin1String("volume")).toInt(), SilentVolume, 0);
    return sound;
}

} // namespace

QJsonObject MainState::toJson() const
{
    QJsonArray queued;
    for (const Slot& s : queue)
        queued.append(QJsonArray{s.sheet, s.slot});
    QJsonArray over;
    for (const Sound& layer : layers)
        over.append(soundObject(layer));
    QJsonObject frame{{QStringLiteral("t"), QStringLiteral("state")},
                      {QStringLiteral("queue"), queued},
                      {QStringLiteral("layers"), over},
                      {QStringLiteral("shown"), shownSheet},
                      {QStringLiteral("master"), masterLevel},
                      {QStringLiteral("taken"), takenMs}};
    if (song.plays())
        frame.insert(QStringLiteral("song"), soundObject(song));
    return frame;
}

std::optional<MainState> MainState::fromJson(const QJsonObject& frame)
{
    if (frame.value(QLatin1String("t")).toString() != QLatin1String("state"))
        return std::nullopt;
    MainState state;
    if (const auto song = soundOf(frame.value(QLatin1String("song"))))
        state.song = *song;
    const QJsonArray queued = frame.value(QLatin1String("queue")).toArray();
    for (qsizetype i = 0; i < std::min(queued.size(), MostQueued); ++i) {
        const QJsonArray at = queued.at(i).toArray();
        const Slot s{at.at(0).toInt(-1), at.at(1).toInt(-1)};
        if (validSlot(s.sheet, s.slot))
            state.queue.append(s);
    }
    const QJsonArray over = frame.value(QLatin1String("layers")).toArray();
    for (qsizetype i = 0; i < std::min(over.size(), MostLayers); ++i)
        if (const auto layer = soundOf(over.at(i)))
            state.layers.append(*layer);
    state.shownSheet = std::clamp(frame.value(QLatin1String("shown")).toInt(), 0, Board::Sheets - 1);
    const double master = frame.value(QLatin1String("master")).toDouble();
    state.masterLevel = std::isfinite(master) ? std::clamp(master, -60.0, 0.0) : 0.0;
    state.takenMs = frame.value(QLatin1String("taken")).toInteger();
    return state;
}
