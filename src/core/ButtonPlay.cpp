// SPDX-License-Identifier: GPL-3.0-or-later
#include "ButtonPlay.h"

#include "audio/MediaPlayer.h"
#include "core/PlayLogic.h"
#include "core/ShowCore.h"
#include "core/SongTexts.h"
#include "songs/SongStruc.h"
#include "songs/SongTimes.h"

ButtonPlay::ButtonPlay(ShowCore& show, MediaPlayer& player)
    : f(show)
    , m_player(player)
{
}

std::optional<SlotRef> ButtonPlay::slotOf(const QString& file) const
{
    const TSongInfo& songs = f.songInfo();
    if (const auto pressed = f.pressedSlotOf(file);
        pressed && songs.fileName(pressed->sheet, pressed->slot).compare(file, Qt::CaseInsensitive) == 0)
        return pressed;
    for (int sheet = 0; sheet < SheetCount; ++sheet)
        for (int slot = 0; slot < SlotCount; ++slot)
            if (songs.fileName(sheet, slot).compare(file, Qt::CaseInsensitive) == 0)
                return SlotRef{sheet, slot};
    return std::nullopt;
}

void ButtonPlay::prepare(const QString& file)
{
    if (file.isEmpty() || IsCdTrack(file))
        return;
    const auto slot = slotOf(file);
    m_player.setPlaySpan(f.songInfo().playPath(file), slot ? spanOf(*slot) : PlaySpan{});
}

PlaySpan ButtonPlay::spanOf(SlotRef slot)
{
    PlaySpan span;
    span.gain = f.songInfo().buttonSettings(slot.sheet, slot.slot).gain();
    TSongRecord rec;
    if (!m_useTimes || !f.songInfo().GetSong(slot.sheet, slot.slot, rec))
        return span;
    const SongTimes times = SongTimes::of(rec);
    span.start = times.start;
    span.stop = times.stop;
    span.fadeStart = times.fadeStart;
    span.fadeDuration = times.fadeDuration;
    const QString said =
        QStringLiteral("%1,%2:%3|%4|%5|%6")
            .arg(slot.sheet)
            .arg(slot.slot)
            .arg(rec.StartTime.str(), rec.StopTime.str(), rec.FadeStart.str(), rec.FadeDuration.str());
    if (!times.unreadable.isEmpty() && !m_said.contains(said)) {
        m_said.insert(said);
        f.sayNews(TimesNews, QStringLiteral("Song times of %1 not read, ignored: %2")
                                 .arg(f.songInfo().title(slot.sheet, slot.slot),
                                      times.unreadable.join(QStringLiteral(", "))));
    }
    return span;
}

void ButtonPlay::started(const QString& file)
{
    const auto slot = slotOf(file);
    m_player.setLoop(slot && f.songInfo().buttonSettings(slot->sheet, slot->slot).loop);
}

bool ButtonPlay::playsFrom(SlotRef slot) const
{
    if (f.PlayState == TPlayState::psStopped || !f.playLogic().somethingPlays())
        return false;
    const QString current = f.playLogic().currentSong();
    return !current.isEmpty() &&
           f.songInfo().fileName(slot.sheet, slot.slot).compare(current, Qt::CaseInsensitive) == 0 &&
           slotOf(current) == slot;
}

bool ButtonPlay::pressStops(SlotRef slot) const
{
    return f.songInfo().buttonSettings(slot.sheet, slot.slot).mode == ButtonSettings::Mode::Toggle &&
           playsFrom(slot);
}

bool ButtonPlay::releaseStops(SlotRef slot) const
{
    return f.songInfo().buttonSettings(slot.sheet, slot.slot).mode == ButtonSettings::Mode::Hold &&
           playsFrom(slot);
}
