// SPDX-License-Identifier: GPL-3.0-or-later
#include "MCI.h"

#include "mci/MciInterface.h"
#include "platform/ErrorReporter.h"
#include "platform/Errors.h"
#include "platform/Guard.h"

#include <QString>

#include <algorithm>

TCDState LastReportedState = TCDState::cdDoorOpen;

namespace {

constexpr int PollIntervalMs = 1000;
constexpr quint32 ErrorTextSize = 256;

/// A TMSF position at the start of `track`; the track must fit in its byte.
quint32 trackStart(qint32 track)
{
    checkRange(track, 0, 255);
    return MCI_MAKE_TMSF(quint8(track), 0, 0, 0);
}

/// A TMSF position `seconds` into `track`, to the frame before it (75 to the second).
quint32 trackPosition(qint32 track, double seconds)
{
    if (!(seconds > 0.0))
        return trackStart(track);
    constexpr qint64 PerSecond = 75;
    const auto frames = static_cast<qint64>(std::min(seconds, 255 * 60.0 + 59.0) * PerSecond);
    return MCI_MAKE_TMSF(quint8(track), quint8(frames / PerSecond / 60), quint8(frames / PerSecond % 60),
                         quint8(frames % PerSecond));
}

} // namespace

TCDPlayer::TCDPlayer(quint32 callbackWindow, QObject& timerOwner, CDStateListener& listener)
    : CallbackWindow(callbackWindow)
    , m_listener(listener)
{
    PollTimer = new QTimer(&timerOwner);
    PollTimer->setInterval(PollIntervalMs);
    m_pollTimer = PollTimer;
    m_tick = QObject::connect(PollTimer, &QTimer::timeout, PollTimer, [this] { PollTimerTimer(); });
    try {
        OpenDevice();
        QueryCapabilities();
    } catch (...) {
        // The caller sees why the player could not be built, not what the cleanup met.
        teardown(false);
        throw;
    }
}

TCDPlayer::TCDPlayer(CDStateListener& listener)
    : m_listener(listener)
{
}

TCDPlayer::~TCDPlayer()
{
    teardown(true);
}

void TCDPlayer::teardown(bool reportErrors) noexcept
{
    const auto attempt = [reportErrors](auto&& step) {
        try {
            step();
            return true;
        } catch (...) {
            if (reportErrors)
                ErrorReporter::reportCurrentException();
            return false;
        }
    };
    // Device 0 names no device: after a failed open there is nothing to stop or close.
    if (DeviceID != 0) {
        if (attempt([this] { RefreshState(); }) && State == TCDState::cdPlaying)
            attempt([this] { Stop(); });
        // Closed even when the mode could not be read, so the drive is not left open.
        if (State != TCDState::cdClosed)
            attempt([this] { CloseDevice(); });
    }
    QObject::disconnect(m_tick);
    if (m_pollTimer)
        m_pollTimer->stop();
}

void TCDPlayer::OpenDevice()
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = "cdaudio";
    LastError = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_SHAREABLE, &open);
    if (LastError != 0)
        RaiseDeviceError();
    DeviceID = open.wDeviceID;

    MCI_SET_PARMS set;
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    LastError = mciSendCommandA(DeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    if (LastError != 0)
        RaiseDeviceError();
    RefreshState();
}

void TCDPlayer::QueryCapabilities()
{
    // The answers are not kept: a device that cannot answer them is not usable.
    for (const quint32 item : {MCI_GETDEVCAPS_CAN_EJECT, MCI_GETDEVCAPS_CAN_PLAY, MCI_GETDEVCAPS_CAN_RECORD,
                               MCI_GETDEVCAPS_CAN_SAVE, MCI_GETDEVCAPS_USES_FILES}) {
        MCI_GETDEVCAPS_PARMS caps;
        caps.dwItem = item;
        LastError = mciSendCommandA(DeviceID, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM | MCI_WAIT, &caps);
        if (LastError != 0)
            RaiseDeviceError();
    }
}

void TCDPlayer::CloseDevice()
{
    LastError = mciSendCommandA(DeviceID, MCI_CLOSE, 0, nullptr);
    if (LastError != 0)
        RaiseDeviceError();
    State = TCDState::cdClosed;
}

void TCDPlayer::enablePollTimer()
{
    // Enabling a running timer keeps its phase.
    if (m_pollTimer && !m_pollTimer->isActive())
        m_pollTimer->start();
}

void TCDPlayer::disablePollTimer()
{
    if (m_pollTimer)
        m_pollTimer->stop();
}

void TCDPlayer::RefreshState()
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_MODE;
    LastError = mciSendCommandA(DeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK, &status);
    if (LastError != 0)
        RaiseDeviceError();
    switch (status.dwReturn) {
    case MCI_MODE_STOP:
        State = TCDState::cdStopped;
        disablePollTimer();
        break;
    case MCI_MODE_PAUSE:
        State = TCDState::cdPaused;
        disablePollTimer();
        break;
    case MCI_MODE_PLAY:
        State = TCDState::cdPlaying;
        enablePollTimer();
        break;
    case MCI_MODE_OPEN:
        State = TCDState::cdDoorOpen;
        disablePollTimer();
        break;
    case MCI_MODE_RECORD:
        State = TCDState::cdRecording;
        break;
    case MCI_MODE_SEEK:
        State = TCDState::cdSeeking;
        break;
    default:
        // Not ready, or a mode this player does not know: nothing changes.
        break;
    }
}

void TCDPlayer::RaiseDeviceError()
{
    char text[ErrorTextSize] = {};
    mciGetErrorStringA(LastError, text, ErrorTextSize);
    throw GeneralError(QString::fromUtf8(text));
}

void TCDPlayer::PlayTrack(qint32 Track, double from)
{
    if (Track > 255)
        checkRange(Track, 0, 255);

    MCI_PLAY_PARMS play;
    play.dwCallback = CallbackWindow;
    const qint32 tracks = TrackCount();

    const qint32 track = Track > 0 ? Track : CurrentTrack;
    if (track < tracks)
        checkRange(track + 1, 0, 255);

    Flags = 0;
    if (Track > 0) {
        CurrentTrack = Track;
        play.dwFrom = trackPosition(Track, from);
        Flags = MCI_FROM;
    }
    if (CurrentTrack < tracks) {
        Flags |= MCI_TO;
        play.dwTo = trackStart(CurrentTrack + 1);
    }
    LastError = mciSendCommandA(DeviceID, MCI_PLAY, Flags, &play);
    if (LastError != 0)
        RaiseDeviceError();
    RefreshState();
}

void TCDPlayer::Pause()
{
    MCI_GENERIC_PARMS generic;
    LastError = mciSendCommandA(DeviceID, MCI_PAUSE, 0, &generic);
    if (LastError != 0)
        RaiseDeviceError();
    RefreshState();
}

void TCDPlayer::Stop()
{
    MCI_GENERIC_PARMS generic;
    // A refused stop is not the operator's concern; the mode query tells what the disc does.
    LastError = mciSendCommandA(DeviceID, MCI_STOP, 0, &generic);
    RefreshState();
}

quint32 TCDPlayer::Position()
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_POSITION;
    LastError = mciSendCommandA(DeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
    if (LastError != 0)
        RaiseDeviceError();
    return status.dwReturn;
}

double TCDPlayer::TrackLength()
{
    if (CurrentTrack <= 0)
        return 0.0;
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_LENGTH;
    status.dwTrack = quint32(CurrentTrack);
    LastError = mciSendCommandA(DeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK | MCI_WAIT, &status);
    if (LastError != 0)
        RaiseDeviceError();
    // Lengths come as minutes, seconds and frames (75 a second) in the player's time format.
    return MCI_MSF_MINUTE(status.dwReturn) * 60.0 + MCI_MSF_SECOND(status.dwReturn) +
           MCI_MSF_FRAME(status.dwReturn) / 75.0;
}

qint32 TCDPlayer::TrackCount()
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_NUMBER_OF_TRACKS;
    LastError = mciSendCommandA(DeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
    if (LastError != 0)
        RaiseDeviceError();
    return qint32(status.dwReturn);
}

QString TCDPlayer::PositionText()
{
    // Two separate reads: across a minute boundary the old minute can meet the new second.
    const int minutes = MCI_TMSF_MINUTE(Position());
    const int seconds = MCI_TMSF_SECOND(Position());
    return QStringLiteral("%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

void TCDPlayer::PollTimerTimer() noexcept
{
    try {
        RefreshState();
    } catch (...) {
        if (!m_pollFailing) {
            m_pollFailing = true;
            ErrorReporter::reportCurrentException();
        }
        return;
    }
    m_pollFailing = false;
    if (State != LastReportedState) {
        guard([this] {
            m_listener.CDStateChanged(State);
            LastReportedState = State;
        });
    }
}

TNoCDPlayer::TNoCDPlayer(const QString& reason, CDStateListener& listener)
    : TCDPlayer(listener)
    , m_reason(reason)
{
}

void TNoCDPlayer::unavailable() const
{
    throw CDPlayerUnavailable(m_reason);
}

void TNoCDPlayer::PlayTrack(qint32, double)
{
    unavailable();
}

void TNoCDPlayer::Pause()
{
    unavailable();
}

void TNoCDPlayer::Stop() {}

QString TNoCDPlayer::PositionText()
{
    unavailable();
}
