// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "Guard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
constexpr char Request[] = "raise\n";
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
    if (m_server)
        m_server->close();
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
        // The socket left by a copy that crashed is in the way of listening.
        QLocalServer::removeServer(m_socketName);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connectGuarded(m_server, &QLocalServer::newConnection, this, [this] { acceptConnections(); });
        m_server->listen(m_socketName);
        return true;
    }
    ::close(m_lockFd);
    m_lockFd = -1;

    // The running copy may be starting and not listen yet.
    const QDeadlineTimer deadline(msecs);
    do {
        QLocalSocket socket;
        socket.connectToServer(m_socketName);
        if (socket.waitForConnected(100)) {
            socket.write(Request, sizeof Request - 1);
            m_reached =
                socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(100, deadline.remainingTime())));
            socket.disconnectFromServer();
            return false;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connectGuarded(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains('\n'))
                Q_EMIT activationRequested();
        });
    }
}
