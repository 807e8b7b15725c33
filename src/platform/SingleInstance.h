// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

/// One running copy per user. The first start holds a lock (flock on a file in `folder`,
/// which the system lets go when the process ends however it ends, so a copy that crashed
/// never stops a start) and listens beside it on a local socket; a later start finds the running copy, asks
/// it to come to the front and is told to end.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    /// `folder`: where the lock and the socket live, by default the user's runtime folder.
    explicit SingleInstance(const QString& name, QString folder = {});
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Takes the lock, or, when another copy holds it, asks that copy to come to the front
    /// (waiting up to `msecs` for it to listen). True: this is the only copy.
    [[nodiscard]] bool claim(int msecs = 3000);
    /// Whether the running copy heard the request to come to the front (after a failed claim).
    [[nodiscard]] bool reachedRunningCopy() const { return m_reached; }

Q_SIGNALS:
    /// A later start asked this copy to come to the front.
    void activationRequested();

private:
    void listen();
    void acceptConnections();

    QString m_lockFile;
    QString m_socketName;
    int m_lockFd = -1;
    int m_serverFd = -1;
    bool m_reached = false;
};
