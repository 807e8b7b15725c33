// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GuessPause.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

/// Who may see and run the show through the web remote. This computer is trusted; a browser on
/// the network gets a session for the run with the right passcode, and after a wrong one its
/// address is not read for a while (GuessPause says how long).
class WebGate {
public:
    /// Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    static constexpr qint64 DeniedPauseMs = GuessPause::AddressPauseMs;
    /// Sessions at most; the oldest makes room for a newer one.
    static constexpr int MaxSessions = 64;
    static inline const QByteArray Cookie = QByteArrayLiteral("sonavex_session");

    WebGate();

    void setClock(Clock clock) { m_clock = std::move(clock); }
    /// The passcode; empty: nobody from the network gets in. Changing it ends every session.
    void setPasscode(const QString& passcode);

    [[nodiscard]] static bool trusted(const QHostAddress& peer);
    /// Whether `peer` with session cookie `session` may see the show.
    [[nodiscard]] bool admits(const QHostAddress& peer, const QByteArray& session) const;
    /// Milliseconds before anything more of `peer` is read; 0: now.
    [[nodiscard]] qint64 pausedFor(const QHostAddress& peer) const;
    /// Checks a passcode `peer` sent: a new session's token when right, empty when wrong (and
    /// the address then pauses).
    [[nodiscard]] QByteArray login(const QHostAddress& peer, const QString& passcode);

    [[nodiscard]] quint64 denied() const { return m_denied; }
    [[nodiscard]] int sessionCount() const { return static_cast<int>(m_sessions.size()); }

private:
    [[nodiscard]] static QByteArray key(const QHostAddress& peer);

    Clock m_clock;
    QByteArray m_passcode;
    QList<QByteArray> m_sessions; ///< oldest first
    GuessPause m_pause;
    quint64 m_denied = 0;
};
