// SPDX-License-Identifier: GPL-3.0-or-later
#include "DirectoryListBox.h"

#include "mci/CdTrackCatalog.h"
#include "platform/Guard.h"

#include <QDir>
#include <QHeaderView>
#include <QStyle>

namespace {
constexpr int PathRole = Qt::UserRole;

bool isInside(const QString& path, const QString& root)
{
    if (root.endsWith(QLatin1Char('/')))
        return path.startsWith(root);
    return path == root || path.startsWith(root + QLatin1Char('/'));
}
} // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connectGuarded(this, &QTreeWidget::itemActivated, this,
                   [this](QTreeWidgetItem* item, int) { setDirectory(item->data(0, PathRole).toString()); });
}

bool DirectoryListBox::isVirtualRoot(const QString& root)
{
    return CdTracks::isTrackName(root);
}

void DirectoryListBox::setDrive(const DriveInfo& drive, const QString& directory)
{
    m_drive = drive;
    m_directory.clear();
    setDirectory(directory.isEmpty() ? drive.root : directory);
}

void DirectoryListBox::setDirectory(const QString& path)
{
    QString target = isVirtualRoot(m_drive.root) ? m_drive.root : QDir::cleanPath(path);
    if (!isInside(target, m_drive.root) || !(isVirtualRoot(target) || QDir(target).exists()))
        target = m_drive.root;
    const bool changed = target != m_directory;
    m_directory = target;
    rebuild();
    if (changed)
        Q_EMIT directoryChanged(m_directory);
}

void DirectoryListBox::rebuild()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    auto* top = new QTreeWidgetItem(this, {m_drive.caption});
    top->setData(0, PathRole, m_drive.root);
    top->setIcon(0, isVirtualRoot(m_drive.root) ? style()->standardIcon(QStyle::SP_DriveCDIcon)
                                                : style()->standardIcon(QStyle::SP_DriveHDIcon));
    QTreeWidgetItem* current = top;
    if (!isVirtualRoot(m_drive.root)) {
        // The open folders from the root down to the current one.
        QString path = m_drive.root;
        const QString rest = m_directory.mid(m_drive.root.size());
        for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (!path.endsWith(QLatin1Char('/')))
                path += QLatin1Char('/');
            path += part;
            auto* item = new QTreeWidgetItem(current, {part});
            item->setData(0, PathRole, path);
            item->setIcon(0, openIcon);
            current = item;
        }
        const QString prefix =
            m_directory.endsWith(QLatin1Char('/')) ? m_directory : m_directory + QLatin1Char('/');
        const QStringList folders = QDir(m_directory)
                                        .entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                   QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
        QList<QTreeWidgetItem*> children;
        children.reserve(folders.size());
        for (const QString& name : folders) {
            auto* item = new QTreeWidgetItem({name});
            item->setData(0, PathRole, QString(prefix + name));
            item->setIcon(0, closedIcon);
            children.append(item);
        }
        current->addChildren(children);
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current);
}
