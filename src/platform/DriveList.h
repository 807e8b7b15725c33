// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

/// One entry of a drive selector: what the operator reads and the folder it opens.
struct DriveInfo {
    QString caption;
    QString root;

    friend bool operator==(const DriveInfo&, const DriveInfo&) = default;
};

/// The places a file picker offers as drives, and the folder it starts in.
class DriveList {
public:
    virtual ~DriveList() = default;
    /// The drives in the order they are offered; asked again each time the selector opens.
    [[nodiscard]] virtual QList<DriveInfo> drives() const = 0;
    [[nodiscard]] virtual QString startDirectory() const = 0;
};
