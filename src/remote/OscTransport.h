// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

/// A sender or receiver of datagrams: an IPv4 address (host order) and a UDP port.
struct OscPeer {
    quint32 address = 0;
    quint16 port = 0;

    /// 127.0.0.0/8: this computer.
    [[nodiscard]] bool isLoopback() const { return (address >> 24) == 127; }
    friend bool operator==(const OscPeer&, const OscPeer&) = default;
};

/// Where the remote's answers and state go out: one datagram to one peer, never blocking
/// (a datagram that cannot go at once is dropped).
class OscTransport {
public:
    virtual ~OscTransport() = default;
    virtual void send(const OscPeer& to, const QByteArray& datagram) = 0;
};
