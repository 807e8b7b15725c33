// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileListBox.h"

#include "DirectoryListBox.h"
#include "mci/CdTrackCatalog.h"
#include "platform/Guard.h"

#include <QDir>
#include <QDrag>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QStringListModel>
#include <QUrl>

#include <algorithm>

FileListBox::FileListBox(const CdTrackCatalog& cd, QWidget* parent)
    : QListView(parent)
    , m_cd(cd)
    , m_model(new QStringListModel(this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &FileListBox::changed);
    // A new listing drops the selection without reporting it.
    connect(m_model, &QAbstractItemModel::modelReset, this, &FileListBox::changed);
}

QString FileListBox::mimeFormat()
{
    return QStringLiteral("application/x-sonavex-file-list");
}

void FileListBox::setDirectory(const QString& path)
{
    m_directory = path;
    refresh();
}

void FileListBox::setMask(const QString& mask)
{
    m_mask = mask;
    refresh();
}

void FileListBox::refresh()
{
    QStringList files;
    if (DirectoryListBox::isVirtualRoot(m_directory)) {
        for (const QString& track : m_cd.trackFiles()) {
            const QString name = track.mid(CdTracks::scheme().size());
            if (QDir::match(m_mask, name))
                files << name;
        }
    } else if (!m_directory.isEmpty()) {
        // Names and types come from the directory entries; no file is opened or examined.
        QDir dir(m_directory, m_mask, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware, QDir::Files);
        files = dir.entryList();
    }
    m_model->setStringList(files);
}

QStringList FileListBox::names() const
{
    return m_model->stringList();
}

QStringList FileListBox::selectedNames() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList result;
    result.reserve(rows.size());
    for (const QModelIndex& index : rows)
        result << index.data().toString();
    return result;
}

void FileListBox::selectNames(const QStringList& wanted)
{
    QItemSelection selection;
    const QStringList all = names();
    for (int row = 0; row < all.size(); ++row) {
        if (wanted.contains(all[row])) {
            const QModelIndex index = m_model->index(row);
            selection.select(index, index);
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

QMimeData* FileListBox::dragMimeData() const
{
    auto* mime = new QMimeData;
    const QStringList selected = selectedNames();
    mime->setData(mimeFormat(), (QStringList{m_directory} + selected).join(QLatin1Char('\n')).toUtf8());
    if (!DirectoryListBox::isVirtualRoot(m_directory)) {
        const QDir dir(m_directory);
        QList<QUrl> urls;
        for (const QString& name : selected)
            urls << QUrl::fromLocalFile(dir.filePath(name));
        mime->setUrls(urls);
    }
    return mime;
}

void FileListBox::startDrag(Qt::DropActions)
{
    guard([&] {
        if (selectionModel()->selectedRows().isEmpty())
            return;
        auto* drag = new QDrag(this);
        drag->setMimeData(dragMimeData());
        drag->exec(Qt::CopyAction, Qt::CopyAction);
    });
}
