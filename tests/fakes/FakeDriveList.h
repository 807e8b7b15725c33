// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DriveList.h"

/// Drives and a start folder chosen by the test.
class FakeDriveList : public DriveList {
public:
    QList<DriveInfo> drives() const override { return list; }
    QString startDirectory() const override { return start; }

    QList<DriveInfo> list;
    QString start;
};
