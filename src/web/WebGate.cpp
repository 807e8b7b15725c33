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
    return m_pause.pausedFor(key(peer), m_clock());
}

QByteArray WebGate::login(const QHostAddress& peer, const QString& passcode)
{
    if (m_passcode.isEmpty() || !sameBytes(passcode.toUtf8(), m_passcode)) {
        ++m_denied;
        m_pause.wrong(key(peer), m_clock());
        return {};
    }
    m_pause.right(key(peer));
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
    if (m_sessions.size() >= MaxSessions)
        m_sessions.removeFirst();
    m_sessions.append(token);
    return token;
}
