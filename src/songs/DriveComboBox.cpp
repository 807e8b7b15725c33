// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveComboBox.h"

#include "mci/CdTrackCatalog.h"
#include "platform/Guard.h"

#include <QStyle>

DriveComboBox::DriveComboBox(const DriveList& drives, const CdTrackCatalog& cd, QWidget* parent)
    : QComboBox(parent)
    , m_source(drives)
    , m_cd(cd)
{
    connectGuarded(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling && index >= 0 && index < m_drives.size())
            Q_EMIT driveChanged(m_drives[index]);
    });
    m_filling = true;
    fill(availableDrives());
    m_filling = false;
}

QList<DriveInfo> DriveComboBox::availableDrives() const
{
    QList<DriveInfo> all = m_source.drives();
    if (m_cd.trackCount() > 0)
        all.append({audioCdCaption(), CdTracks::scheme()});
    return all;
}

QString DriveComboBox::audioCdCaption()
{
    return QStringLiteral("Audio CD");
}

DriveInfo DriveComboBox::currentDrive() const
{
    const int index = currentIndex();
    return index >= 0 && index < m_drives.size() ? m_drives[index] : DriveInfo{};
}

void DriveComboBox::fill(const QList<DriveInfo>& drives)
{
    m_drives = drives;
    clear();
    for (const DriveInfo& drive : m_drives) {
        const bool cd = CdTracks::isTrackName(drive.root);
        addItem(style()->standardIcon(cd ? QStyle::SP_DriveCDIcon : QStyle::SP_DriveHDIcon), drive.caption);
    }
}

void DriveComboBox::selectDriveFor(const QString& path)
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_drives.size(); ++i) {
        const QString& root = m_drives[i].root;
        const bool inside = root.endsWith(QLatin1Char('/'))
                                ? path.startsWith(root)
                                : path == root || path.startsWith(root + QLatin1Char('/'));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) {
        m_filling = true;
        setCurrentIndex(best);
        m_filling = false;
    }
}

void DriveComboBox::refreshDrives()
{
    const QList<DriveInfo> all = availableDrives();
    if (all == m_drives)
        return;
    const DriveInfo previous = currentDrive();
    m_filling = true;
    fill(all);
    const qsizetype kept = m_drives.indexOf(previous);
    setCurrentIndex(kept >= 0 ? int(kept) : 0);
    m_filling = false;
    if (kept < 0 && !m_drives.isEmpty())
        Q_EMIT driveChanged(m_drives.first());
}

void DriveComboBox::showPopup()
{
    guard([this] { refreshDrives(); });
    QComboBox::showPopup();
}
