// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/OscPacket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

/// A remote control on a UDP socket of its own, for tests: sends datagrams to a port and reads
/// what comes back, letting the event loop run meanwhile (the server under test shares it).
/// `bindTo` (host order) and `port` 0: the loopback address and a port the system picks.
class OscClient {
public:
    explicit OscClient(quint32 bindTo = INADDR_LOOPBACK, quint16 port = 0)
        : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(bindTo);
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
    }
    ~OscClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OscClient(const OscClient&) = delete;
    OscClient& operator=(const OscClient&) = delete;

    [[nodiscard]] bool bound() const { return m_bound; }
    /// The port bound (host order).
    [[nodiscard]] quint16 port() const
    {
        sockaddr_in at{};
        socklen_t length = sizeof at;
        return ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &length) == 0 ? ntohs(at.sin_port) : 0;
    }

    bool send(const QByteArray& datagram, quint16 port, quint32 to = INADDR_LOOPBACK) const
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(to);
        return ::sendto(m_fd, datagram.constData(), static_cast<std::size_t>(datagram.size()), 0,
                        reinterpret_cast<sockaddr*>(&at), sizeof at) == datagram.size();
    }

    /// Messages received until `until` returns true for the list so far, or `msecs` pass.
    template <typename Until> QList<OscMessage> receiveUntil(Until until, int msecs)
    {
        QList<OscMessage> all;
        QDeadlineTimer deadline(msecs);
        char buffer[65536];
        while (!until(all) && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0)
                continue;
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
            QList<OscMessage> some;
            if (got > 0 && OscPacket::decode(buffer, static_cast<std::size_t>(got), some) == OscDrop::None)
                all << some;
        }
        return all;
    }

    /// Everything received within `msecs`.
    QList<OscMessage> receiveFor(int msecs)
    {
        return receiveUntil([](const QList<OscMessage>&) { return false; }, msecs);
    }

    /// Messages up to the first with `path`, within `msecs`.
    QList<OscMessage> receiveUntilPath(const QByteArray& path, int msecs)
    {
        return receiveUntil(
            [&path](const QList<OscMessage>& all) {
                return std::any_of(all.cbegin(), all.cend(),
                                   [&path](const OscMessage& m) { return m.path == path; });
            },
            msecs);
    }

private:
    int m_fd;
    bool m_bound = false;
};
