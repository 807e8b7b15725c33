// SPDX-License-Identifier: GPL-3.0-or-later
#include "MountedDrives.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>

namespace {

/// Mount tables write space, tab, newline and backslash as three octal digits.
QString unescapeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && code < 256) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

bool isPseudoFileSystem(const QByteArray& type)
{
    static const QSet<QByteArray> pseudo = {
        "proc",       "sysfs",      "tmpfs",    "devtmpfs",        "devpts",      "ramfs",      "cgroup",
        "cgroup2",    "securityfs", "debugfs",  "tracefs",         "configfs",    "fusectl",    "mqueue",
        "hugetlbfs",  "pstore",     "bpf",      "autofs",          "binfmt_misc", "efivarfs",   "nsfs",
        "rpc_pipefs", "overlay",    "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "selinuxfs",
        "nfsd"};
    return pseudo.contains(type);
}

bool isUnder(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

/// Where people mount the disks they want to reach.
bool isUserMountPoint(const QString& path)
{
    return isUnder(path, QStringLiteral("/home")) || isUnder(path, QStringLiteral("/media")) ||
           isUnder(path, QStringLiteral("/mnt")) || isUnder(path, QStringLiteral("/run/media"));
}

} // namespace

QList<DriveInfo> MountedDrives::fromMountTable(const QByteArray& table, const QString& home)
{
    const QString root = QStringLiteral("/");
    QList<DriveInfo> result{{root, root}};
    QSet<QString> seen{root};
    if (!home.isEmpty() && home != root) {
        result.append({home, home});
        seen.insert(home);
    }

    QList<DriveInfo> mounted;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3)
            continue;
        const QString mountPoint = unescapeMountField(fields[1]);
        if (!isUserMountPoint(mountPoint) || isPseudoFileSystem(fields[2]) || seen.contains(mountPoint))
            continue;
        seen.insert(mountPoint);
        mounted.append({mountPoint, mountPoint});
    }
    std::sort(mounted.begin(), mounted.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.root < b.root; });
    return result + mounted;
}

QList<DriveInfo> MountedDrives::drives() const
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    // The file reports a size of 0, so it is read as a stream.
    const QByteArray table = mounts.open(QIODevice::ReadOnly) ? mounts.readAll() : QByteArray();
    return fromMountTable(table, QDir::homePath());
}

QString MountedDrives::startDirectory() const
{
    return QDir::homePath();
}
