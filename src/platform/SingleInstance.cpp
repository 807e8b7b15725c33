// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "Guard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr char Request[] = "raise\n";

/// The socket's address; false when the path does not fit in one.
bool addressOf(const QByteArray& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

/// A later start's request, read as it comes: the running copy's own end never waits on it.
class RequestReader : public QObject {
public:
    RequestReader(int fd, SingleInstance* instance)
        : QObject(instance)
        , m_fd(fd)
        , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
    {
        connectGuarded(m_notifier, &QSocketNotifier::activated, this, [this, instance] { read(instance); });
    }
    ~RequestReader() override { ::close(m_fd); }

private:
    void read(SingleInstance* instance)
    {
        char buffer[64];
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got > 0 && std::memchr(buffer, '\n', static_cast<std::size_t>(got))) {
            m_notifier->setEnabled(false);
            deleteLater();
            Q_EMIT instance->activationRequested();
            return;
        }
        if (got <= 0) { // gone without a word
            m_notifier->setEnabled(false);
            deleteLater();
        }
    }

    int m_fd;
    QSocketNotifier* m_notifier;
};
} // namespace

SingleInstance::SingleInstance(const QString& name, QString folder)
{
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QDir().mkpath(folder);
    m_lockFile = folder + QLatin1Char('/') + name + QLatin1String(".lock");
    m_socketName = folder + QLatin1Char('/') + name + QLatin1String(".socket");
}

SingleInstance::~SingleInstance()
{
    if (m_serverFd >= 0) {
        ::close(m_serverFd);
        ::unlink(QFile::encodeName(m_socketName).constData());
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd); // lets go of the lock
}

bool SingleInstance::claim(int msecs)
{
    m_lockFd = ::open(QFile::encodeName(m_lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A lock that cannot be made (a read-only folder) must not stop the show: then this copy runs alone.
    if (m_lockFd < 0)
        return true;
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
        listen();
        return true;
    }
    ::close(m_lockFd);
    m_lockFd = -1;

    sockaddr_un address{};
    if (!addressOf(QFile::encodeName(m_socketName), address))
        return false;
    // The running copy may be starting and not listen yet.
    const QDeadlineTimer deadline(msecs);
    do {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            m_reached = ::send(fd, Request, sizeof Request - 1, MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(sizeof Request - 1);
            ::close(fd);
            return false;
        }
        if (fd >= 0)
            ::close(fd);
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

void SingleInstance::listen()
{
    const QByteArray path = QFile::encodeName(m_socketName);
    sockaddr_un address{};
    if (!addressOf(path, address))
        return; // runs alone: a later start is told to end, as it would be anyway
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // The socket left by a copy that crashed is in the way; this copy holds the lock, so it is nobody's.
    ::unlink(path.constData());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    m_serverFd = fd;
    auto* incoming = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connectGuarded(incoming, &QSocketNotifier::activated, this, [this] { acceptConnections(); });
}

void SingleInstance::acceptConnections()
{
    for (;;) {
        const int client = ::accept4(m_serverFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            return;
        new RequestReader(client, this);
    }
}
