// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DriveList.h"

#include <QByteArray>

/// The drives of this machine: the root file system, the home folder and the real
/// file systems mounted where a user mounts things (/home, /media, /mnt, /run/media).
class MountedDrives : public DriveList {
public:
    [[nodiscard]] QList<DriveInfo> drives() const override;
    /// The home folder.
    [[nodiscard]] QString startDirectory() const override;

    /// The drives a mount table (the format of /proc/self/mounts) yields; pseudo and
    /// memory file systems are left out, "/" and `home` always come first.
    [[nodiscard]] static QList<DriveInfo> fromMountTable(const QByteArray& table, const QString& home);
};
