// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebGate.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

namespace {

/// Compares in a time that does not depend on where the texts differ.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

WebGate::WebGate()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return timer->elapsed(); };
}

void WebGate::setPasscode(const QString& passcode)
{
    const QByteArray next = passcode.toUtf8();
    if (next != m_passcode)
        m_sessions.clear();
    m_passcode = next;
}

bool WebGate::trusted(const QHostAddress& peer)
{
    bool v4 = false;
    const quint32 a = peer.toIPv4Address(&v4);
    return peer.isLoopback() || (v4 && (a >> 24) == 127);
}

bool WebGate::admits(const QHostAddress& peer, const QByteArray& session) const
{
    if (trusted(peer))
        return true;
    if (session.isEmpty())
        return false;
    for (const QByteArray& s : m_sessions)
        if (sameBytes(s, session))
            return true;
    return false;
}

QByteArray WebGate::key(const QHostAddress& peer)
{
    bool v4 = false;
    const quint32 a = peer.toIPv4Address(&v4);
    return v4 ? QByteArray::number(a) : peer.toString().toLatin1();
}

qint64 WebGate::pausedFor(const QHostAddress& peer) const
{
    const auto it = m_pausedUntil.constFind(key(peer));
    return it == m_pausedUntil.cend() ? 0 : qMax<qint64>(0, *it - m_clock());
}

QByteArray WebGate::login(const QHostAddress& peer, const QString& passcode)
{
    const qint64 now = m_clock();
    // Forget the pauses that have passed, so that the table stays small.
    for (auto it = m_pausedUntil.begin(); it != m_pausedUntil.end();)
        it = *it <= now ? m_pausedUntil.erase(it) : std::next(it);
    if (m_passcode.isEmpty() || !sameBytes(passcode.toUtf8(), m_passcode)) {
        ++m_denied;
        m_pausedUntil.insert(key(peer), now + DeniedPauseMs);
        return {};
    }
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
    if (m_sessions.size() >= MaxSessions)
        m_sessions.removeFirst();
    m_sessions.append(token);
    return token;
}
