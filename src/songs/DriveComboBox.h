// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DriveList.h"

#include <QComboBox>

class CdTrackCatalog;

/// The drive selector of the sheet editor: the machine's drives, and "Audio CD" while a
/// disc with tracks is in the CD drive. The list is taken again each time it opens.
class DriveComboBox : public QComboBox {
    Q_OBJECT
public:
    DriveComboBox(const DriveList& drives, const CdTrackCatalog& cd, QWidget* parent = nullptr);

    [[nodiscard]] QList<DriveInfo> drives() const { return m_drives; }
    [[nodiscard]] DriveInfo currentDrive() const;
    /// Selects the drive that holds `path` (the one with the longest matching root),
    /// without reporting a change.
    void selectDriveFor(const QString& path);
    /// Takes the list again, keeping the selected drive when it is still there.
    void refreshDrives();

    /// The caption of the audio CD's drive.
    [[nodiscard]] static QString audioCdCaption();

    void showPopup() override;

Q_SIGNALS:
    void driveChanged(const DriveInfo& drive);

private:
    [[nodiscard]] QList<DriveInfo> availableDrives() const;
    void fill(const QList<DriveInfo>& drives);

    const DriveList& m_source;
    const CdTrackCatalog& m_cd;
    QList<DriveInfo> m_drives;
    bool m_filling = false;
};
