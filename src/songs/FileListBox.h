// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListView>
#include <QStringList>

class CdTrackCatalog;
class QMimeData;
class QStringListModel;

/// The files of one folder that match a mask, sorted by name, several selectable at
/// once and draggable. The audio CD's folder lists "Track01.cda" ... from the catalog.
class FileListBox : public QListView {
    Q_OBJECT
public:
    FileListBox(const CdTrackCatalog& cd, QWidget* parent = nullptr);

    void setDirectory(const QString& path);
    [[nodiscard]] const QString& directory() const { return m_directory; }
    /// A wildcard pattern such as "*.wav"; letter case does not matter.
    void setMask(const QString& mask);
    [[nodiscard]] const QString& mask() const { return m_mask; }
    /// Lists the folder again.
    void refresh();

    [[nodiscard]] QStringList names() const;
    /// The selected names in list order.
    [[nodiscard]] QStringList selectedNames() const;
    void selectNames(const QStringList& names);

    /// What a drag out of the list carries: the list's own format plus file URLs.
    [[nodiscard]] QMimeData* dragMimeData() const;
    /// The format that marks a drag as coming from a file list.
    [[nodiscard]] static QString mimeFormat();

Q_SIGNALS:
    /// The selection changed, or the list was filled again.
    void changed();

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    const CdTrackCatalog& m_cd;
    QStringListModel* m_model;
    QString m_directory;
    QString m_mask = QStringLiteral("*.wav");
};
