// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/PlaySpan.h"
#include "core/SlotKeys.h"

#include <QSet>
#include <QString>

#include <optional>

class MediaPlayer;
class ShowCore;

/// Each button's own way of playing, behind the play logic: its volume, loop and, with Use Song
/// Times, its record's start, stop and fade go to the media player before its song starts or is
/// set to follow; and whether a press or a release stops the song it plays (toggle, hold).
class ButtonPlay {
public:
    ButtonPlay(ShowCore& show, MediaPlayer& player);

    void setUseSongTimes(bool on) { m_useTimes = on; }
    [[nodiscard]] bool useSongTimes() const { return m_useTimes; }

    /// Before `file` (as the queue holds it) starts or is set to follow: how it plays. A time
    /// of its record that cannot be read is ignored and said once in the status bar.
    void prepare(const QString& file);
    /// How the song of `slot` plays: its volume and, with Use Song Times, its record's times.
    [[nodiscard]] PlaySpan spanOf(SlotRef slot);
    /// Right after `file` started: its loop (a song starts with none).
    void started(const QString& file);
    /// A plain press on `slot` stops the song it plays instead of playing it again (toggle).
    [[nodiscard]] bool pressStops(SlotRef slot) const;
    /// Letting go of `slot` stops the song it plays (hold).
    [[nodiscard]] bool releaseStops(SlotRef slot) const;

    /// The slot `file` was pressed or queued from while it still holds it, else the first slot
    /// that holds it.
    [[nodiscard]] std::optional<SlotRef> slotOf(const QString& file) const;

    /// The topic of the status bar's news of a time not read.
    static inline const QString TimesNews = QStringLiteral("times");

private:
    /// The song that plays (or is paused) was started from `slot`.
    [[nodiscard]] bool playsFrom(SlotRef slot) const;

    ShowCore& f;
    MediaPlayer& m_player;
    bool m_useTimes = false;
    QSet<QString> m_said; ///< the unreadable times said already
};
