// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionQuota.h"

#include "web/WebGate.h"

#include <QHash>

#include <algorithm>

QByteArray ConnectionQuota::key(const QHostAddress& peer)
{
    bool v4 = false;
    const quint32 a = peer.toIPv4Address(&v4);
    return v4 ? QByteArray::number(a) : peer.toString().toLatin1();
}

qsizetype ConnectionQuota::oldest(const QByteArray& address, bool unproved) const
{
    for (qsizetype i = 0; i < m_held.size(); ++i)
        if (m_held[i].address == address && (!unproved || !m_held[i].proved))
            return i;
    return -1;
}

bool ConnectionQuota::admit(Id id, const QHostAddress& peer, Id* evict)
{
    *evict = nullptr;
    const QByteArray address = key(peer);
    const bool isKnown = m_known.contains(address);
    int mine = 0;
    int myUnproved = 0;
    QHash<QByteArray, int> unproved;
    for (const Held& h : m_held) {
        if (!h.proved)
            ++unproved[h.address];
        if (h.address == address) {
            ++mine;
            myUnproved += h.proved ? 0 : 1;
        }
    }

    qsizetype victim = -1;
    if (mine >= MaxPerAddress || myUnproved >= MaxUnprovedPerAddress) {
        // This computer's programs close their sockets when they end; only a roaming host leaves
        // them behind.
        if (!isKnown || WebGate::trusted(peer))
            return false;
        victim = oldest(address, true);
        if (victim < 0)
            victim = oldest(address, false);
    } else if (m_held.size() >= MaxConnections) {
        QByteArray most;
        int mostCount = 0;
        for (const Held& h : m_held) { // oldest first: of equals, the one holding the oldest
            if (!h.proved && unproved.value(h.address) > mostCount) {
                most = h.address;
                mostCount = unproved.value(h.address);
            }
        }
        if (mostCount == 0 || (!isKnown && myUnproved + 2 > mostCount))
            return false;
        victim = oldest(most, true);
    }
    if (victim >= 0)
        *evict = m_held.takeAt(victim).id;
    m_held.append({id, address, false});
    return true;
}

void ConnectionQuota::prove(Id id)
{
    for (Held& h : m_held) {
        if (h.id != id)
            continue;
        h.proved = true;
        m_known.removeAll(h.address);
        if (m_known.size() >= MaxKnown)
            m_known.removeFirst();
        m_known.append(h.address);
        return;
    }
}

void ConnectionQuota::remove(Id id)
{
    m_held.removeIf([id](const Held& h) { return h.id == id; });
}

int ConnectionQuota::countFrom(const QHostAddress& peer) const
{
    const QByteArray address = key(peer);
    return static_cast<int>(
        std::count_if(m_held.cbegin(), m_held.cend(), [&](const Held& h) { return h.address == address; }));
}
