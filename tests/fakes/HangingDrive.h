// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

/// A drive that can stop answering, as a network or FUSE drive that hangs does: a bindfs
/// mount of a temporary folder whose daemon is stopped with SIGSTOP. Whatever touches the
/// mount then waits until answer(). Usable where bindfs and /dev/fuse are (usable() says).
class HangingDrive {
public:
    HangingDrive()
    {
        QDir().mkpath(backing());
        QDir().mkpath(mountPoint());
        if (QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty() ||
            !QFile::exists(QStringLiteral("/dev/fuse")))
            return;
        m_daemon.start(QStringLiteral("bindfs"), {QStringLiteral("-f"), backing(), mountPoint()});
        if (!m_daemon.waitForStarted(5000))
            return;
        for (int i = 0; i < 100 && !m_mounted; ++i) {
            m_mounted = isMounted();
            if (!m_mounted)
                QProcess::execute(QStringLiteral("sleep"), {QStringLiteral("0.05")});
        }
    }
    ~HangingDrive()
    {
        answer();
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {mountPoint()});
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    HangingDrive(const HangingDrive&) = delete;
    HangingDrive& operator=(const HangingDrive&) = delete;

    [[nodiscard]] bool usable() const { return m_mounted; }
    /// The folder behind the drive: reachable whatever the drive does.
    [[nodiscard]] QString backing() const { return m_dir.path() + QLatin1String("/backing"); }
    [[nodiscard]] QString mountPoint() const { return m_dir.path() + QLatin1String("/drive"); }

    void hang() { signal(SIGSTOP); }
    void answer() { signal(SIGCONT); }

private:
    void signal(int which)
    {
        if (m_daemon.state() != QProcess::NotRunning)
            ::kill(static_cast<pid_t>(m_daemon.processId()), which);
    }
    [[nodiscard]] bool isMounted() const
    {
        QFile mounts(QStringLiteral("/proc/self/mounts"));
        return mounts.open(QIODevice::ReadOnly) &&
               mounts.readAll().contains(QByteArray(" " + QFile::encodeName(mountPoint()) + " "));
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    bool m_mounted = false;
};
