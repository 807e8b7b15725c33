// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/MediaPlayer.h"
#include "platform/Errors.h"

#include <QHash>
#include <QMetaObject>
#include <QStringList>

#include <functional>

/// A media player that plays nothing. It keeps the real player's contract: it changes state
/// the way the real one does, reports the changes as queued notifications and drops those
/// queued for an earlier file, restarts a stopped file on play, and leaves the song that
/// plays untouched when a new file cannot start. `finish()` ends the song by itself,
/// `loseOutput()` cuts it off as a vanished sound server would.
class FakeMediaPlayer : public MediaPlayer {
    Q_OBJECT
public:
    void setFileName(const QString& path) override { start(path, 0.0); }
    void setFileNameAt(const QString& path, double seconds) override { start(path, seconds); }
    QString fileName() const override { return m_fileName; }
    double duration() const override { return durations.value(m_fileName, 61.0); }
    double currentPosition() const override { return m_position; }
    int playState() const override { return m_state; }
    bool sendPlayStateChangeEvents() const override { return m_send; }
    void setSendPlayStateChangeEvents(bool send) override
    {
        log << (send ? QStringLiteral("events on") : QStringLiteral("events off"));
        m_send = send;
    }
    int volume() const override { return m_volume; }
    void setVolume(int volume) override
    {
        volumes << volume;
        m_volume = volume;
    }
    void play() override
    {
        log << QStringLiteral("play");
        if (m_state == Paused) {
            m_state = Playing;
            notify(Paused, Playing, true);
        } else if (m_state == Stopped && !m_fileName.isEmpty()) {
            setFileName(m_fileName);
        }
    }
    void stop() override
    {
        log << QStringLiteral("stop");
        if (m_state == Stopped)
            return; // the idle player reports nothing
        const int old = m_state;
        m_state = Stopped;
        notify(old, Stopped, m_send);
    }
    void pause() override
    {
        log << QStringLiteral("pause");
        if (m_state == Playing) {
            m_state = Paused;
            notify(Playing, Paused, true);
        }
    }
    void setHotList(const QStringList& paths) override { hotList = paths; }
    void setNextFile(const QString& path) override { nextFile = path; }
    void setPlaySpan(const QString& path, const PlaySpan& span) override { spans.insert(path, span); }
    void setLoop(bool on) override { loop = on; }
    void setMixGain(double gain, double rampSeconds) override { mixGains.append({gain, rampSeconds}); }
    /// The mix gain last set, 1 when none was.
    [[nodiscard]] double mixGain() const { return mixGains.isEmpty() ? 1.0 : mixGains.last().gain; }

    /// The song ends by itself.
    void finish()
    {
        if (m_state == Stopped)
            return;
        const int old = m_state;
        m_state = Stopped;
        notify(old, Stopped, m_send);
    }
    /// The sound server went away under the song.
    void loseOutput(const QString& reason)
    {
        if (m_state == Stopped)
            return;
        m_state = Stopped;
        const quint64 generation = m_generation;
        const QString message = QStringLiteral("No audio output: ") + reason;
        QMetaObject::invokeMethod(
            this,
            [this, generation, message] {
                if (generation == m_generation)
                    Q_EMIT PlaybackLost(message);
            },
            Qt::QueuedConnection);
    }
    void setPosition(double seconds) { m_position = seconds; }
    void nudge(double seconds) override
    {
        log << QStringLiteral("Nudge=%1").arg(seconds * 1000.0, 0, 'f', 1);
        m_position += seconds;
    }

    QStringList log;
    QList<int> volumes;
    struct MixGain {
        double gain;
        double rampSeconds;
    };
    QList<MixGain> mixGains; ///< every mix gain set, in order
    QStringList hotList;
    QString nextFile;               ///< the song set to follow the one that plays
    QHash<QString, PlaySpan> spans; ///< how each song was last set to play
    bool loop = false;
    QStringList unplayable;
    /// Not empty: starts fail as without a sound server, with this reason.
    QString noOutput;
    QHash<QString, double> durations;
    /// Runs as a song is asked to start, before anything else of the start.
    std::function<void()> onStart;

private:
    void start(const QString& path, double seconds)
    {
        log << QStringLiteral("FileName=") + path +
                   (seconds > 0.0 ? QStringLiteral("@%1").arg(seconds) : QString());
        if (onStart)
            onStart();
        if (unplayable.contains(path))
            throw DeviceError(QStringLiteral("Unable to play ") + path);
        if (!noOutput.isEmpty())
            throw NoAudioOutput(QStringLiteral("No audio output: ") + noOutput);
        ++m_generation;
        m_fileName = path;
        m_position = seconds;
        const int old = m_state;
        m_state = Playing;
        notify(old, Playing, true);
    }

    void notify(int oldState, int newState, bool send)
    {
        if (!send)
            return;
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation, oldState, newState] {
                if (generation == m_generation)
                    Q_EMIT PlayStateChange(oldState, newState);
            },
            Qt::QueuedConnection);
    }

    QString m_fileName;
    double m_position = 0;
    int m_state = Stopped;
    bool m_send = true;
    int m_volume = 0;
    quint64 m_generation = 0;
};
