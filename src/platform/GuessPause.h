// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

/// How long a remote waits before it hears again from an address that sent a wrong passcode.
/// Such an address is not heard for a second. Once the remote as a whole has had FreeTries wrong
/// tries within a minute, from however many addresses, each further wrong try makes every address
/// that guessed wrong wait StepMs longer, up to MaxMs: guessing from many addresses slows to a
/// try every few seconds in total. An address that has not guessed wrong never waits, so the
/// right passcode from it gets in at once, whatever the others do.
class GuessPause {
public:
    static constexpr qint64 AddressPauseMs = 1000;
    static constexpr qint64 WindowMs = 60'000;
    static constexpr int FreeTries = 10;
    static constexpr qint64 StepMs = 250;
    static constexpr qint64 MaxMs = 3000;
    /// An address that guessed wrong is remembered this long after its last wrong try, so that
    /// many addresses do not each get a fresh try when the pause ends.
    static constexpr qint64 RememberMs = 600'000;
    /// Addresses remembered at most; the one that guessed wrong longest ago makes room.
    static constexpr int MaxAddresses = 1024;

    /// Milliseconds before anything more of `address` is heard; 0: now. `now` on a monotonic clock.
    [[nodiscard]] qint64 pausedFor(const QByteArray& address, qint64 now) const;
    /// `address` sent a wrong passcode at `now`.
    void wrong(const QByteArray& address, qint64 now);
    /// `address` sent the right passcode: it is no longer held up by the others' guessing.
    void right(const QByteArray& address) { m_lastWrong.remove(address); }
    void clear();

    [[nodiscard]] int remembered() const { return static_cast<int>(m_lastWrong.size()); }

private:
    QHash<QByteArray, qint64> m_lastWrong;
    QList<qint64> m_recent; ///< the latest wrong tries within WindowMs, oldest first
    qint64 m_allUntil = 0;  ///< every address that guessed wrong waits until then
};
