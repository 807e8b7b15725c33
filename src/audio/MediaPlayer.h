// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlaySpan.h"

#include <QObject>
#include <QString>
#include <QStringList>

/// The embedded media player the main window plays files through.
/// Setting FileName opens the file and starts it by itself; its length is known at once.
class MediaPlayer : public QObject {
    Q_OBJECT
public:
    /// Play states as the notification reports them.
    enum State : int { Stopped = 0, Paused = 1, Playing = 2 };

    using QObject::QObject;
    ~MediaPlayer() override = default;

    /// Opens `path` and starts it. Changing the file while one plays does not report
    /// the old one stopped. Raises an error when the file cannot be opened or decoded, or
    /// cannot be played out; the song that played then plays on untouched.
    virtual void setFileName(const QString& path) = 0;
    /// As setFileName, but the song starts `seconds` into what it plays (its span's start
    /// counts as 0): its position reads from there, and its length is the whole span's.
    virtual void setFileNameAt(const QString& path, double seconds) = 0;
    [[nodiscard]] virtual QString fileName() const = 0;
    /// Length of the open media in seconds.
    [[nodiscard]] virtual double duration() const = 0;
    [[nodiscard]] virtual double currentPosition() const = 0;
    [[nodiscard]] virtual int playState() const = 0;
    /// While false, a stop raises no notification.
    [[nodiscard]] virtual bool sendPlayStateChangeEvents() const = 0;
    virtual void setSendPlayStateChangeEvents(bool send) = 0;
    /// Hundredths of a decibel: 0 is full level, lower is quieter, -10000 silent.
    [[nodiscard]] virtual int volume() const = 0;
    virtual void setVolume(int volume) = 0;

    /// Resumes paused media; on stopped media with a file, starts it again from the beginning.
    virtual void play() = 0;
    /// Stops; stopping the idle player reports nothing.
    virtual void stop() = 0;
    virtual void pause() = 0;

    /// The song to follow the one that plays (empty: none). It is made ready while the first
    /// plays and goes on at its last sample; the player then reports the first stopped, and a
    /// FileName set to this song right after takes it over as it plays, reporting it playing.
    virtual void setNextFile(const QString& path) { Q_UNUSED(path); }
    /// How `path` plays from now on whenever it starts, follows or starts again: its span and
    /// its gain. The whole song at its level unless set.
    virtual void setPlaySpan(const QString& path, const PlaySpan& span)
    {
        Q_UNUSED(path);
        Q_UNUSED(span);
    }
    /// While on, the song that plays starts again at its end with nothing between; a new song
    /// starts with it off.
    virtual void setLoop(bool loop) { Q_UNUSED(loop); }
    /// Moves the song that plays `seconds` on (back when negative) without starting it again:
    /// what lies between is skipped, or as much silence is held. Its position reads the new
    /// place at once. For a few milliseconds only: it is heard as a tick.
    virtual void nudge(double seconds) { Q_UNUSED(seconds); }
    /// Songs likely to be pressed soon: their first seconds are decoded ahead.
    virtual void setHotList(const QStringList& paths) { Q_UNUSED(paths); }
    /// The board's own scaling of everything this player plays, on top of the song's volume,
    /// fade and level: the master level and ducking. Linear, 1 by default; reached over
    /// `rampSeconds` (0: the few milliseconds any gain change takes), and kept across songs.
    virtual void setMixGain(double gain, double rampSeconds)
    {
        Q_UNUSED(gain);
        Q_UNUSED(rampSeconds);
    }

Q_SIGNALS:
    /// Delivered on the GUI thread.
    void PlayStateChange(int oldState, int newState);
    /// The sound output went away mid-song: the player is stopped, and no stopped
    /// notification is sent. Delivered on the GUI thread.
    void PlaybackLost(const QString& message);
};
