// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DriveList.h"

#include <QTreeWidget>

/// The folder chooser of the sheet editor: the path from the drive's root down to the
/// current folder, and the current folder's subfolders under it. Activating an entry
/// (double click or Enter) makes it the current folder.
class DirectoryListBox : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    /// Shows `drive` and opens `directory` on it, or its root folder.
    void setDrive(const DriveInfo& drive, const QString& directory = QString());
    [[nodiscard]] const DriveInfo& drive() const { return m_drive; }

    /// Opens `path`, which must lie on the current drive (anything else opens the root).
    void setDirectory(const QString& path);
    [[nodiscard]] const QString& directory() const { return m_directory; }

    /// True for drives whose folders are not on disk (the audio CD).
    [[nodiscard]] static bool isVirtualRoot(const QString& root);

Q_SIGNALS:
    void directoryChanged(const QString& path);

private:
    void rebuild();

    DriveInfo m_drive;
    QString m_directory;
};
