// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

/// Who holds the web remote's connections, so that no one host can take them all: every address
/// gets a share, connections that have shown no session yet get a smaller one and give way, and an
/// address that has shown a session this run always finds room.
class ConnectionQuota {
public:
    using Id = const void*;

    /// HTTP connections and WebSockets together.
    static constexpr int MaxConnections = 32;
    /// For one address: a page's load takes up to four (page, style, script, socket) and a reload
    /// may leave the old socket behind until its pings go unanswered. A phone, a tablet and a
    /// companion program on this computer at their full share leave room for one more.
    static constexpr int MaxPerAddress = 8;
    /// Of those, connections that have shown no session yet (not one of their requests read):
    /// a browser opens up to six to one host at once for a page's parts; a host that only opens
    /// connections holds no more than this.
    static constexpr int MaxUnprovedPerAddress = 6;
    /// Addresses remembered for having shown a session, the latest kept.
    static constexpr int MaxKnown = 64;

    /// A new connection `id` from `peer`; false when it is refused. When another connection has to
    /// go to make room, `evict` names it (and it is no longer counted here); else it is null.
    ///
    /// When all are taken, the oldest connection without a session of the address that holds the
    /// most of those gives way: to an address that has shown a session, or to one that holds at
    /// least two fewer (so that hosts that keep reconnecting come to rest at even shares). At its
    /// own share, an address far from this computer that has shown a session gives up its own
    /// oldest connection (a phone's page left behind by a reload or a sleep).
    [[nodiscard]] bool admit(Id id, const QHostAddress& peer, Id* evict);
    /// `id` showed a session (a valid cookie, the right passcode, or it is this computer's): it no
    /// longer gives way, and its address is known from now on.
    void prove(Id id);
    void remove(Id id);

    [[nodiscard]] int count() const { return static_cast<int>(m_held.size()); }
    [[nodiscard]] int countFrom(const QHostAddress& peer) const;

private:
    struct Held {
        Id id = nullptr;
        QByteArray address;
        bool proved = false;
    };

    [[nodiscard]] static QByteArray key(const QHostAddress& peer);
    /// The oldest of `address`'s connections (of those without a session when `unproved`); -1: none.
    [[nodiscard]] qsizetype oldest(const QByteArray& address, bool unproved) const;

    QList<Held> m_held;        ///< oldest first
    QList<QByteArray> m_known; ///< oldest first
};
