// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MountedDrives.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestMountedDrives : public QObject {
    Q_OBJECT

    static QStringList roots(const QList<DriveInfo>& drives)
    {
        QStringList result;
        for (const DriveInfo& drive : drives)
            result << drive.root;
        return result;
    }

private Q_SLOTS:
    void keepsTheFileSystemsAUserMounts()
    {
        const QByteArray table = "proc /proc proc rw,relatime 0 0\n"
                                 "sysfs /sys sysfs rw 0 0\n"
                                 "/dev/sda2 / ext4 rw,relatime 0 0\n"
                                 "tmpfs /run tmpfs rw 0 0\n"
                                 "/dev/sda3 /home ext4 rw 0 0\n"
                                 "/dev/sdb1 /media/ann/My\\040Songs vfat rw 0 0\n"
                                 "server:/music /mnt/music nfs4 rw 0 0\n"
                                 "/dev/sdc1 /run/media/ann/STICK exfat rw 0 0\n"
                                 "tmpfs /mnt/scratch tmpfs rw 0 0\n"
                                 "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
                                 "/dev/sda4 /var ext4 rw 0 0\n"
                                 "/dev/sdb1 /media/ann/My\\040Songs vfat rw 0 0\n"
                                 "garbage\n";
        const QList<DriveInfo> drives = MountedDrives::fromMountTable(table, QStringLiteral("/home/ann"));
        QCOMPARE(roots(drives),
                 (QStringList{QStringLiteral("/"), QStringLiteral("/home/ann"), QStringLiteral("/home"),
                              QStringLiteral("/media/ann/My Songs"), QStringLiteral("/mnt/music"),
                              QStringLiteral("/run/media/ann/STICK")}));
        QCOMPARE(drives[3].caption, QStringLiteral("/media/ann/My Songs"));
    }

    void rootAndHomeWithoutATable()
    {
        QCOMPARE(roots(MountedDrives::fromMountTable(QByteArray(), QStringLiteral("/root"))),
                 (QStringList{QStringLiteral("/"), QStringLiteral("/root")}));
        // A home folder that is itself a mount point is offered once.
        QCOMPARE(roots(MountedDrives::fromMountTable("/dev/sdb1 /home/ann ext4 rw 0 0\n",
                                                     QStringLiteral("/home/ann"))),
                 (QStringList{QStringLiteral("/"), QStringLiteral("/home/ann")}));
    }

    void followsTheHomeFolderAndTheMountTable()
    {
        QTemporaryDir home;
        const QByteArray saved = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        const MountedDrives live;
        const QString start = live.startDirectory();
        const QList<DriveInfo> drives = live.drives();
        qputenv("HOME", saved);

        QCOMPARE(start, home.path());
        QFile mounts(QStringLiteral("/proc/self/mounts"));
        QVERIFY(mounts.open(QIODevice::ReadOnly));
        QCOMPARE(roots(drives), roots(MountedDrives::fromMountTable(mounts.readAll(), home.path())));
        QCOMPARE(drives.value(1).root, home.path());
    }
};

QTEST_GUILESS_MAIN(TestMountedDrives)
#include "tst_mounteddrives.moc"
