// SPDX-License-Identifier: GPL-3.0-or-later
#include "OscServer.h"

#include "platform/Guard.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
/// Longer than any datagram, so that an oversized one is seen whole and counted.
constexpr std::size_t BufferBytes = 65536;

/// What keeps a port from being used, said of the port: "is in use by another program".
QString refusal(int error)
{
    if (error == EADDRINUSE)
        return QStringLiteral("is in use by another program");
    return QStringLiteral("cannot be used (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
}
} // namespace

OscServer::OscServer(Board& board, QObject* parent)
    : QObject(parent)
    , m_remote(board, *this)
    , m_buffer(BufferBytes)
{
}

OscServer::~OscServer()
{
    stop();
}

bool OscServer::listen(const OscConfig& config, QString* why)
{
    stop();
    m_remote.setPasscode(config.passcode);
    if (config.port == 0)
        return true;
    // Our own socket, not liblo's server: liblo binds a unicast server to every address,
    // and "this computer only" must bind 127.0.0.1.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (why)
            *why = refusal(errno);
        return false;
    }
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(config.port);
    at.sin_addr.s_addr = htonl(config.network ? INADDR_ANY : INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        const int error = errno;
        ::close(fd);
        if (why)
            *why = refusal(error);
        return false;
    }
    // Errors of sent datagrams in a queue of their own, each with the peer it was for; without
    // this an unconnected socket reports none, or one the next send fails with, naming nobody.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    m_port = ntohs(at.sin_port);
    m_fd = fd;
    m_notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
    connectGuarded(m_notifier, &QSocketNotifier::activated, this, &OscServer::readSome);
    return true;
}

void OscServer::stop()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
    m_remote.forget();
}

void OscServer::readSome()
{
    readErrors();
    for (int i = 0; i < DatagramsPerTurn && m_fd >= 0; ++i) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        // MSG_TRUNC: the datagram's whole length, even past the buffer.
        const ssize_t got = ::recvfrom(m_fd, m_buffer.data(), m_buffer.size(), MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) {
            // An error of a datagram sent, queued since: read it, and the datagrams behind it.
            if (errno != EAGAIN && errno != EWOULDBLOCK && readErrors())
                continue;
            return; // nothing more now
        }
        const OscPeer peer{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        m_remote.receive(m_buffer.data(), static_cast<std::size_t>(got), peer);
    }
}

void OscServer::send(const OscPeer& to, const QByteArray& datagram)
{
    if (m_fd < 0)
        return;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(to.port);
    at.sin_addr.s_addr = htonl(to.address);
    const auto sendOnce = [&] {
        return ::sendto(m_fd, datagram.constData(), static_cast<std::size_t>(datagram.size()), MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr*>(&at), sizeof at) >= 0;
    };
    // A send fails with the error of an earlier datagram to another peer (a closed port answered):
    // that error is read, and this datagram goes out all the same.
    if (!sendOnce() && !(errno != EAGAIN && errno != EWOULDBLOCK && readErrors() && sendOnce()))
        ++m_unsent;
}

bool OscServer::readErrors()
{
    bool any = false;
    for (int i = 0; i < DatagramsPerTurn * 4 && m_fd >= 0; ++i) {
        sockaddr_in to{};
        char control[512];
        char first[1];
        iovec part{first, sizeof first};
        msghdr message{};
        message.msg_name = &to;
        message.msg_namelen = sizeof to;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(m_fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            break;
        any = true;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(c), sizeof error);
            // The name is where the datagram that failed was sent.
            if (error.ee_origin == SO_EE_ORIGIN_ICMP && error.ee_errno == ECONNREFUSED &&
                message.msg_namelen >= sizeof to)
                m_remote.peerUnreachable({ntohl(to.sin_addr.s_addr), ntohs(to.sin_port)});
        }
    }
    return any;
}
