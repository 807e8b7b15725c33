// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/SongStruc.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <any>
#include <utility>

class CdTrackCatalog;
class Dialogs;
class DirectoryListBox;
class DriveComboBox;
class DriveList;
class FileListBox;
class QAction;
class QComboBox;
class QMenu;
class QMimeData;
class QSplitter;
class QStatusBar;
class QTableWidget;
class QTimer;
class QToolButton;
class SheetHost;

/// The sheet editor: the ten sheets as the columns of a grid, filled from a file list
/// by button or by drag and drop. Every change goes straight into the store.
/// Shown modally; when it is destroyed the main window redraws the sheet it shows.
class TfrmSchedual : public QDialog {
    Q_OBJECT
public:
    TfrmSchedual(QWidget* owner, TSongInfo& songInfo, SheetHost& host, Dialogs& dialogs,
                 const CdTrackCatalog& cd, const DriveList& drives);
    ~TfrmSchedual() override;

    QWidget* schedToolBar;
    QComboBox* cboFilter;
    DriveComboBox* cboDrive;
    QToolButton* btnAddFiles;
    QToolButton* btnErase;
    QWidget* Panel1;
    QSplitter* Splitter1;
    QSplitter* Splitter2;
    DirectoryListBox* lbDir;
    FileListBox* lbFiles;
    QTableWidget* StringGrid;
    QMenu* PopupMenu1;
    QAction* Delete1;
    /// Stores the paths the current column's found songs play from, after a question.
    QAction* UseFoundPaths1;
    QStatusBar* schedStatusBar;

    /// The current cell: column 0..9 is the sheet, row 1..36 the slot plus one.
    [[nodiscard]] int Col() const;
    [[nodiscard]] int Row() const;
    void setCurrentCell(int col, int row);
    /// Row 0 is the header row with the tab captions.
    [[nodiscard]] QString cellText(int col, int row) const;
    /// Opens `path` in the folder and file lists, on the drive that holds it.
    void setDirectory(const QString& path);

    void FormCreate();
    void FormDestroy();
    void lbFilesChange();
    void btnAddFilesClick();
    void btnEraseClick();
    void Delete1Click();
    void UseFoundPaths1Click();
    void StringGridClick();
    void StringGridSetEditText(int ACol, int ARow, const QString& Value);
    /// Whether the grid takes what is dragged over `pos` (viewport coordinates); moves
    /// the current column under the pointer.
    bool StringGridDragOver(const QMimeData* mime, const QPoint& pos);
    void StringGridDragDrop(const QMimeData* mime, const QPoint& pos);
    void StringGridColumnMoved(int FromIndex, int ToIndex);

    /// Takes back the editor's last change (Ctrl+Z), back to the editor's opening and no further.
    void undo();
    /// Makes the last change taken back again (Ctrl+Shift+Z, Ctrl+Y); a new change drops it.
    void redo();
    [[nodiscard]] bool canUndo() const { return !m_undo.isEmpty(); }
    [[nodiscard]] bool canRedo() const { return !m_redo.isEmpty(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct FileToAdd {
        QString directory;
        QString name;
    };

    /// One slot as a change found and left it, with its cell's text.
    struct SlotChange {
        int sheet = 0;
        int slot = 0;
        TSongInfo::SlotContent before;
        TSongInfo::SlotContent after;
        QString cellBefore;
        QString cellAfter;
        /// The change told the main window the slot was emptied; a redo tells it again.
        bool toldCleared = false;
        /// What the main window kept for the slot before it was told (see SheetHost::slotExtras).
        std::any hostBefore;
    };
    /// One change of the editor as a whole: the slots it changed, and the neighbouring
    /// sheets it exchanged, in order.
    struct EditStep {
        QList<SlotChange> slots;
        QList<std::pair<int, int>> exchanges;
    };

    void buildToolBar();
    void buildLists();
    void buildGrid();
    void connectHandlers();

    /// Places the files in the "<empty>" cells from the top of the current column on;
    /// files whose full name a song record cannot hold exactly are named to the operator instead.
    void addFiles(const QList<FileToAdd>& candidates);
    void setCell(int col, int row, const QString& text);
    /// A cell's hint: the song's path, and where it was found when it plays from elsewhere.
    [[nodiscard]] QString songHint(int Sheet, int Slot) const;
    /// Commits and closes the cell editor when one is open.
    void closeCellEditor();
    void autoScrollDrag();
    /// Exchanges two sheets in the store, the main window's keys and the tab captions.
    void exchangeSheets(int SheetA, int SheetB);
    /// A slot as it is now, to be completed by finishChange once changed.
    [[nodiscard]] SlotChange slotBefore(int Sheet, int Slot) const;
    void finishChange(SlotChange& change) const;
    /// Empties the slot and its cell and tells the main window; `change` keeps what it had.
    void clearSlot(SlotChange& change);
    /// Keeps a change for undo and drops what could be redone.
    void pushStep(EditStep step);
    void applySlots(const EditStep& step, bool forward);
    void applyExchanges(const EditStep& step, bool forward);

    TSongInfo& m_songInfo;
    SheetHost& m_host;
    Dialogs& m_dialogs;
    const CdTrackCatalog& m_cd;
    const DriveList& m_drives;
    QTimer* m_dragScroll;
    QPoint m_dragPos;
    bool m_fillingCells = false;
    bool m_restoringColumns = false;
    QList<EditStep> m_undo;
    QList<EditStep> m_redo;
};
