// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Errors.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtGlobal>

class QString;

/// The CD player's view of its device.
enum class TCDState : quint8 {
    cdStopped = 0,
    cdPaused = 1,
    cdPlaying = 2,
    cdDoorOpen = 3,
    cdRecording = 4,
    cdSeeking = 5,
    cdClosed = 6,
};

/// Told by the CD player's poll when the device changed by itself.
class CDStateListener {
public:
    virtual ~CDStateListener() = default;
    virtual void CDStateChanged(TCDState State) = 0;
};

/// Plays audio CD tracks through the "cdaudio" device, one track at a time.
class TCDPlayer {
public:
    /// Opens the device; raises an error (and leaves nothing open) when that fails.
    /// The poll timer is a child of `timerOwner`.
    TCDPlayer(quint32 CallbackWindow, QObject& timerOwner, CDStateListener& listener);
    virtual ~TCDPlayer();

    TCDPlayer(const TCDPlayer&) = delete;
    TCDPlayer& operator=(const TCDPlayer&) = delete;

    /// Track > 0: plays that track to the start of the next, from `from` seconds into it.
    /// Track <= 0: resumes up to the start of the track after CurrentTrack.
    virtual void PlayTrack(qint32 Track, double from = 0.0);
    virtual void Pause();
    /// Never raises for the stop request itself.
    virtual void Stop();
    /// "%2.2d:%2.2d" minutes and seconds within the current track.
    [[nodiscard]] virtual QString PositionText();
    [[nodiscard]] quint32 Position();
    [[nodiscard]] qint32 TrackCount();
    /// Seconds of the current track (frames count as fractions), 0 before a track was played.
    [[nodiscard]] virtual double TrackLength();

    TCDState State = TCDState::cdStopped;

    // The rest is the player's own; public for the tests that check request sequences.
    quint32 CallbackWindow = 0;
    quint32 DeviceID = 0;
    qint32 CurrentTrack = 0;
    quint32 Flags = 0;
    quint32 LastError = 0;
    QTimer* PollTimer = nullptr;

protected:
    /// A player without a device, for stand-ins.
    explicit TCDPlayer(CDStateListener& listener);

private:
    void OpenDevice();
    void QueryCapabilities();
    void CloseDevice();
    void RefreshState();
    [[noreturn]] void RaiseDeviceError();
    /// The poll tick; a failing mode query is reported on the first failing tick only.
    void PollTimerTimer() noexcept;
    /// The destruction steps; errors are reported when `reportErrors`, else dropped.
    void teardown(bool reportErrors) noexcept;
    void enablePollTimer();
    void disablePollTimer();

    CDStateListener& m_listener;
    /// Guards against a timer its owner already destroyed.
    QPointer<QTimer> m_pollTimer;
    QMetaObject::Connection m_tick;
    bool m_pollFailing = false;
};

/// What every request to a CD player that could not be created raises; the message is why it
/// could not be created.
class CDPlayerUnavailable : public DeviceError {
public:
    using DeviceError::DeviceError;
};

/// Stands in for the CD player that could not be created, so that the main window always has
/// one: every request that needs the device raises CDPlayerUnavailable; Stop, which never
/// raises, has nothing to stop; the state stays cdStopped and nothing is polled.
class TNoCDPlayer final : public TCDPlayer {
public:
    TNoCDPlayer(const QString& reason, CDStateListener& listener);

    void PlayTrack(qint32 Track, double from = 0.0) override;
    void Pause() override;
    void Stop() override;
    [[nodiscard]] QString PositionText() override;
    [[nodiscard]] double TrackLength() override { return 0.0; }

private:
    [[noreturn]] void unavailable() const;

    QString m_reason;
};

/// The last state the poll passed on to the main window; starts as cdDoorOpen.
extern TCDState LastReportedState;
