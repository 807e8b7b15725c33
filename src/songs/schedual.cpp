// SPDX-License-Identifier: GPL-3.0-or-later
#include "schedual.h"

#include "DirectoryListBox.h"
#include "DriveComboBox.h"
#include "FileListBox.h"
#include "SheetHost.h"
#include "SongFiles.h"
#include "SongStruc.h"
#include "StandIn.h"
#include "mci/CdTrackCatalog.h"
#include "platform/Dialogs.h"
#include "platform/DriveList.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int ColumnWidth = 150;
constexpr int RowHeight = 24;
constexpr int ToolBarHeight = 54;
constexpr int PanelWidth = 157;
constexpr int DragScrollMargin = 20;
/// The text a cell was last given by the editor, so that an edit can be taken back to it.
constexpr int ShownTextRole = Qt::UserRole;

const QColor Navy(0x00, 0x00, 0x80);
const QColor Teal(0x00, 0x80, 0x80);
const QColor LightGrey(0xC0, 0xC0, 0xC0);

/// The local files (not folders) of a URL list.
QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile())
            files << info.absoluteFilePath();
    }
    return files;
}

bool comesFromFileList(const QMimeData* data)
{
    return data && data->hasFormat(FileListBox::mimeFormat());
}

} // namespace

TfrmSchedual::TfrmSchedual(QWidget* owner, TSongInfo& songInfo, SheetHost& host, Dialogs& dialogs,
                           const CdTrackCatalog& cd, const DriveList& drives)
    : QDialog(owner)
    , m_songInfo(songInfo)
    , m_host(host)
    , m_dialogs(dialogs)
    , m_cd(cd)
    , m_drives(drives)
    , m_dragScroll(new QTimer(this))
{
    Fonts::loadProgramFonts();
    setWindowTitle(QStringLiteral("Song Editor"));
    setSizeGripEnabled(false);
    resize(705, 427);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildToolBar();
    buildLists();
    buildGrid();

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(Panel1);
    Splitter1->addWidget(StringGrid);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({PanelWidth, 705 - PanelWidth});

    schedStatusBar = new QStatusBar(this);
    schedStatusBar->setObjectName(QStringLiteral("schedStatusBar"));

    layout->addWidget(schedToolBar);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(schedStatusBar);

    m_dragScroll->setInterval(60);

    guard([this] { FormCreate(); });
    connectHandlers();

    // Undo and redo have keys only: the window keeps its layout.
    auto* undoAction = new QAction(this);
    undoAction->setShortcuts(QKeySequence::Undo);
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(key))
            redoKeys << key;
    auto* redoAction = new QAction(this);
    redoAction->setShortcuts(redoKeys);
    addAction(undoAction);
    addAction(redoAction);
    connectGuarded(undoAction, &QAction::triggered, this, &TfrmSchedual::undo);
    connectGuarded(redoAction, &QAction::triggered, this, &TfrmSchedual::redo);

    // Start-up state: nothing selected to add, *.wav files, the first cell current.
    btnAddFiles->setEnabled(false);
    setCurrentCell(0, 1);
    guard([this] { setDirectory(m_drives.startDirectory()); });
}

TfrmSchedual::~TfrmSchedual()
{
    guard([this] { FormDestroy(); });
}

void TfrmSchedual::buildToolBar()
{
    schedToolBar = new QWidget(this);
    schedToolBar->setObjectName(QStringLiteral("schedToolBar"));
    schedToolBar->setFixedHeight(ToolBarHeight);
    schedToolBar->setAutoFillBackground(true);
    QPalette pal = schedToolBar->palette();
    pal.setColor(QPalette::Window, Navy);
    schedToolBar->setPalette(pal);

    cboFilter = new QComboBox(schedToolBar);
    cboFilter->setObjectName(QStringLiteral("cboFilter"));
    for (const SongFileType& type : songFileTypes())
        cboFilter->addItem(QLatin1String(type.caption), QLatin1String(type.mask));
    cboFilter->setMinimumWidth(145);

    cboDrive = new DriveComboBox(m_drives, m_cd, schedToolBar);
    cboDrive->setObjectName(QStringLiteral("cboDrive"));
    cboDrive->setMinimumWidth(145);
    cboDrive->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboDrive->setMinimumContentsLength(14);

    auto makeButton = [this](const QString& name, const QString& icon, const QString& hint) {
        auto* button = new QToolButton(schedToolBar);
        button->setObjectName(name);
        button->setIcon(QIcon(icon));
        button->setIconSize(QSize(32, 32));
        button->setFixedSize(44, 44);
        button->setAutoRaise(true);
        button->setToolTip(hint);
        return button;
    };
    btnAddFiles = makeButton(QStringLiteral("btnAddFiles"), QStringLiteral(":/songs/add-files.svg"),
                             QStringLiteral("Click to assign selected Items to the grid"));
    btnErase = makeButton(QStringLiteral("btnErase"), QStringLiteral(":/songs/erase.svg"),
                          QStringLiteral("Click to delete all of the selected cell's contents"));

    auto* row = new QHBoxLayout(schedToolBar);
    row->setContentsMargins(6, 5, 6, 5);
    row->setSpacing(6);
    row->addWidget(cboFilter);
    row->addWidget(cboDrive);
    row->addSpacing(8);
    row->addWidget(btnAddFiles);
    row->addWidget(btnErase);
    row->addStretch(1);
}

void TfrmSchedual::buildLists()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setMinimumWidth(60);

    lbDir = new DirectoryListBox(Panel1);
    lbDir->setObjectName(QStringLiteral("lbDir"));
    lbFiles = new FileListBox(m_cd, Panel1);
    lbFiles->setObjectName(QStringLiteral("lbFiles"));
    lbFiles->setMask(QStringLiteral("*.wav"));

    Splitter2 = new QSplitter(Qt::Vertical, Panel1);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    Splitter2->addWidget(lbDir);
    Splitter2->addWidget(lbFiles);
    Splitter2->setSizes({160, 200});

    auto* column = new QVBoxLayout(Panel1);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Splitter2);
}

void TfrmSchedual::buildGrid()
{
    StringGrid = new QTableWidget(SlotCount, SheetCount, this);
    StringGrid->setObjectName(QStringLiteral("StringGrid"));
    StringGrid->setFont(Fonts::tahoma(16, true));
    QPalette pal = StringGrid->palette();
    pal.setColor(QPalette::Base, LightGrey);
    pal.setColor(QPalette::Text, Qt::black);
    StringGrid->setPalette(pal);
    StringGrid->setShowGrid(true);
    StringGrid->setWordWrap(false);
    StringGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    // A click opens the cell editor itself (StringGridClick); typing and F2 open it anywhere.
    StringGrid->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    StringGrid->setTabKeyNavigation(true);
    StringGrid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid->setDragDropMode(QAbstractItemView::NoDragDrop);
    StringGrid->viewport()->setAcceptDrops(true);
    StringGrid->viewport()->installEventFilter(this);
    StringGrid->horizontalHeader()->viewport()->setAcceptDrops(true);
    StringGrid->horizontalHeader()->viewport()->installEventFilter(this);
    StringGrid->setContextMenuPolicy(Qt::CustomContextMenu);

    QHeaderView* top = StringGrid->horizontalHeader();
    top->setSectionsMovable(true);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setDefaultSectionSize(ColumnWidth);
    top->setHighlightSections(false);
    top->setFont(StringGrid->font());
    top->setFixedHeight(RowHeight + 2);
    top->setStyleSheet(QStringLiteral("QHeaderView::section { background-color: %1; color: black;"
                                      " border: none; border-right: 1px solid #004040;"
                                      " border-bottom: 1px solid #004040; padding: 0 4px; }")
                           .arg(Teal.name()));
    StringGrid->verticalHeader()->hide();
    StringGrid->verticalHeader()->setMinimumSectionSize(RowHeight);
    StringGrid->verticalHeader()->setDefaultSectionSize(RowHeight);
    StringGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    for (int c = 0; c < SheetCount; ++c) {
        StringGrid->setHorizontalHeaderItem(c, new QTableWidgetItem);
        for (int r = 0; r < SlotCount; ++r)
            StringGrid->setItem(r, c, new QTableWidgetItem);
    }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
    Delete1->setObjectName(QStringLiteral("Delete1"));
    UseFoundPaths1 = PopupMenu1->addAction(QStringLiteral("Use Found Paths"));
    UseFoundPaths1->setObjectName(QStringLiteral("UseFoundPaths1"));
}

void TfrmSchedual::connectHandlers()
{
    connectGuarded(cboFilter, &QComboBox::currentIndexChanged, this,
                   [this](int) { lbFiles->setMask(cboFilter->currentData().toString()); });
    connectGuarded(cboDrive, &DriveComboBox::driveChanged, this,
                   [this](const DriveInfo& drive) { lbDir->setDrive(drive); });
    connectGuarded(lbDir, &DirectoryListBox::directoryChanged, this,
                   [this](const QString& path) { lbFiles->setDirectory(path); });
    connectGuarded(lbFiles, &FileListBox::changed, this, &TfrmSchedual::lbFilesChange);
    connectGuarded(btnAddFiles, &QToolButton::clicked, this, &TfrmSchedual::btnAddFilesClick);
    connectGuarded(btnErase, &QToolButton::clicked, this, &TfrmSchedual::btnEraseClick);
    connectGuarded(Delete1, &QAction::triggered, this, &TfrmSchedual::Delete1Click);
    connectGuarded(UseFoundPaths1, &QAction::triggered, this, &TfrmSchedual::UseFoundPaths1Click);
    connectGuarded(StringGrid, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = StringGrid->indexAt(pos);
        if (!index.isValid())
            return;
        UseFoundPaths1->setEnabled(m_songInfo.foundCount(index.column()) > 0);
        PopupMenu1->popup(StringGrid->viewport()->mapToGlobal(pos));
    });
    connectGuarded(StringGrid, &QTableWidget::clicked, this, &TfrmSchedual::StringGridClick);
    connectGuarded(StringGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_fillingCells)
            StringGridSetEditText(item->column(), item->row() + 1, item->text());
    });
    connectGuarded(StringGrid->horizontalHeader(), &QHeaderView::sectionMoved, this,
                   [this](int, int oldVisual, int newVisual) {
                       if (!m_restoringColumns)
                           StringGridColumnMoved(oldVisual, newVisual);
                   });
    connectGuarded(m_dragScroll, &QTimer::timeout, this, &TfrmSchedual::autoScrollDrag);
}

int TfrmSchedual::Col() const
{
    return std::max(0, StringGrid->currentColumn());
}

int TfrmSchedual::Row() const
{
    return std::max(0, StringGrid->currentRow()) + 1;
}

void TfrmSchedual::setCurrentCell(int col, int row)
{
    StringGrid->setCurrentCell(row - 1, col);
}

QString TfrmSchedual::cellText(int col, int row) const
{
    const QTableWidgetItem* item =
        row == 0 ? StringGrid->horizontalHeaderItem(col) : StringGrid->item(row - 1, col);
    return item ? item->text() : QString();
}

void TfrmSchedual::setCell(int col, int row, const QString& text)
{
    const bool filling = std::exchange(m_fillingCells, true);
    if (row == 0) {
        StringGrid->horizontalHeaderItem(col)->setText(text);
    } else {
        QTableWidgetItem* item = StringGrid->item(row - 1, col);
        item->setText(text);
        item->setData(ShownTextRole, text);
        item->setToolTip(songHint(col, row - 1));
    }
    m_fillingCells = filling;
}

QString TfrmSchedual::songHint(int Sheet, int Slot) const
{
    const QString stored = m_songInfo.fileName(Sheet, Slot);
    if (stored.isEmpty())
        return {};
    const QString found = m_songInfo.found(stored).path;
    if (found.isEmpty())
        return stored;
    return QStringLiteral("Found at %1\nStored as %2").arg(found, stored);
}

void TfrmSchedual::setDirectory(const QString& path)
{
    cboDrive->selectDriveFor(path);
    lbDir->setDrive(cboDrive->currentDrive(), path);
}

void TfrmSchedual::closeCellEditor()
{
    QWidget* editor = StringGrid->indexWidget(StringGrid->currentIndex());
    if (!editor)
        return;
    QAbstractItemDelegate* delegate = StringGrid->itemDelegate();
    Q_EMIT delegate->commitData(editor);
    Q_EMIT delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TfrmSchedual::FormCreate()
{
    for (int c = 0; c < SheetCount; ++c)
        setCell(c, 0, m_host.tabCaption(c));
    for (int c = 0; c < SheetCount; ++c)
        for (int n = 0; n < SlotCount; ++n)
            setCell(c, n + 1, m_songInfo.title(c, n));
}

void TfrmSchedual::FormDestroy()
{
    m_host.RefreshButtons(m_host.shownTab());
}

void TfrmSchedual::lbFilesChange()
{
    btnAddFiles->setEnabled(!lbFiles->selectedNames().isEmpty());
}

void TfrmSchedual::btnAddFilesClick()
{
    QList<FileToAdd> files;
    for (const QString& name : lbFiles->selectedNames())
        files.append({lbFiles->directory(), name});
    addFiles(files);
}

void TfrmSchedual::addFiles(const QList<FileToAdd>& files)
{
    closeCellEditor();
    EditStep step;
    qsizetype next = 0;
    for (int col = Col(); col < SheetCount && next < files.size(); ++col) {
        for (int row = 1; row <= SlotCount && next < files.size(); ++row) {
            if (cellText(col, row) != EmptyTitle)
                continue;
            const FileToAdd& file = files[next++];
            SlotChange change = slotBefore(col, row - 1);
            addSong(m_songInfo, col, row - 1, file.directory, file.name);
            setCell(col, row, file.name);
            finishChange(change);
            step.slots << change;
        }
    }
    // Files beyond the last free cell of the last sheet are dropped.
    pushStep(std::move(step));
}

void TfrmSchedual::btnEraseClick()
{
    closeCellEditor();
    if (m_dialogs.messageBox(this, QStringLiteral("Delete all, are you sure?"), Dialogs::Style::Confirmation,
                             Dialogs::Buttons::YesNo) != Dialogs::Answer::Yes)
        return;
    const int col = Col();
    EditStep step;
    for (int r = 1; r <= SlotCount; ++r) {
        SlotChange change = slotBefore(col, r - 1);
        clearSlot(change);
        step.slots << change;
    }
    pushStep(std::move(step));
}

void TfrmSchedual::Delete1Click()
{
    closeCellEditor();
    const int col = Col();
    const int row = Row();
    const QString question =
        QStringLiteral("Delete ") + cellText(col, row) + QStringLiteral(" are you sure?");
    if (m_dialogs.messageBox(this, question, Dialogs::Style::Information, Dialogs::Buttons::YesNo) !=
        Dialogs::Answer::Yes)
        return;
    SlotChange change = slotBefore(col, row - 1);
    clearSlot(change);
    pushStep(EditStep{{change}, {}});
}

void TfrmSchedual::UseFoundPaths1Click()
{
    closeCellEditor();
    const int col = Col();
    const int count = m_songInfo.foundCount(col);
    if (count == 0) {
        m_dialogs.messageBox(this, QStringLiteral("Every song of this sheet is where its path says."),
                             Dialogs::Style::Information, Dialogs::Buttons::Ok);
        return;
    }
    const QString question =
        (count == 1
             ? QStringLiteral("1 song of this sheet was found in another place. Store the path it plays "
                              "from, are you sure?")
             : QStringLiteral("%1 songs of this sheet were found in other places. Store the paths they "
                              "play from, are you sure?")
                   .arg(count));
    if (m_dialogs.messageBox(this, question, Dialogs::Style::Confirmation, Dialogs::Buttons::YesNo) !=
        Dialogs::Answer::Yes)
        return;
    EditStep step;
    for (int r = 1; r <= SlotCount; ++r)
        step.slots << slotBefore(col, r - 1);
    m_songInfo.useFoundPaths(col);
    for (int r = 1; r <= SlotCount; ++r)
        StringGrid->item(r - 1, col)->setToolTip(songHint(col, r - 1));
    for (SlotChange& change : step.slots)
        finishChange(change);
    pushStep(std::move(step));
}

void TfrmSchedual::StringGridClick()
{
    closeCellEditor();
    if (cellText(Col(), Row()) != EmptyTitle)
        StringGrid->edit(StringGrid->currentIndex());
}

void TfrmSchedual::StringGridSetEditText(int ACol, int ARow, const QString& Value)
{
    if (ARow < 1)
        return;
    SlotChange change = slotBefore(ACol, ARow - 1);
    if (const QTableWidgetItem* item = StringGrid->item(ARow - 1, ACol))
        change.cellBefore = item->data(ShownTextRole).toString();
    TSongRecord rec = m_songInfo.GetSongOrDefault(ACol, ARow - 1);
    // A free slot gets the default record's texts with the new title.
    TSongRecord stored;
    SongTexts texts = m_songInfo.GetSong(ACol, ARow - 1, stored)
                          ? m_songInfo.texts(ACol, ARow - 1)
                          : SongTexts{rec.Artist.str(), rec.Album.str(), rec.Title.str(), rec.FileName.str()};
    texts.Title = cutText(Value, 40);
    rec.Sheet = ACol;
    rec.Slot = ARow - 1;
    m_songInfo.SetSong(ACol, ARow - 1, rec, texts);
    if (QTableWidgetItem* item = StringGrid->item(ARow - 1, ACol)) {
        const bool filling = std::exchange(m_fillingCells, true);
        item->setData(ShownTextRole, item->text());
        m_fillingCells = filling;
    }
    finishChange(change);
    pushStep(EditStep{{change}, {}});
}

bool TfrmSchedual::StringGridDragOver(const QMimeData* mime, const QPoint& pos)
{
    if (!comesFromFileList(mime) && localFiles(mime).isEmpty())
        return false;
    const QModelIndex index = StringGrid->indexAt(pos);
    setCurrentCell(index.isValid() ? index.column() : 0, Row());
    return true;
}

void TfrmSchedual::StringGridDragDrop(const QMimeData* mime, const QPoint& pos)
{
    if (!StringGridDragOver(mime, pos))
        return;
    if (comesFromFileList(mime)) {
        btnAddFilesClick();
        return;
    }
    // Files from the desktop are placed as if they had been picked in the file list.
    QList<FileToAdd> files;
    for (const QString& path : localFiles(mime)) {
        const QFileInfo info(path);
        files.append({info.absolutePath(), info.fileName()});
    }
    addFiles(files);
}

void TfrmSchedual::StringGridColumnMoved(int FromIndex, int ToIndex)
{
    if (FromIndex == ToIndex)
        return;
    closeCellEditor();
    QHeaderView* header = StringGrid->horizontalHeader();

    // The grid has shifted the columns in between by one place; the sheets and the tab
    // captions follow, one exchange of neighbours at a time.
    const int direction = FromIndex < ToIndex ? 1 : -1;
    EditStep step;
    for (int sheet = FromIndex; sheet != ToIndex; sheet += direction) {
        exchangeSheets(sheet, sheet + direction);
        step.exchanges.append({sheet, sheet + direction});
    }

    // Put the sections back in their own order, carrying the texts along, so that
    // column c is sheet c again for everything that follows.
    QList<QStringList> columns;
    for (int visual = 0; visual < SheetCount; ++visual) {
        const int logical = header->logicalIndex(visual);
        QStringList texts;
        for (int r = 0; r <= SlotCount; ++r)
            texts << cellText(logical, r);
        columns << texts;
    }
    const int currentColumn = header->visualIndex(Col());
    const int currentRow = Row();
    m_restoringColumns = true;
    header->moveSection(ToIndex, FromIndex);
    m_restoringColumns = false;
    for (int c = 0; c < SheetCount; ++c)
        for (int r = 0; r <= SlotCount; ++r)
            setCell(c, r, columns[c][r]);
    setCurrentCell(currentColumn, currentRow);
    pushStep(std::move(step));
}

void TfrmSchedual::exchangeSheets(int SheetA, int SheetB)
{
    for (int n = 0; n < SlotCount; ++n)
        m_songInfo.ExchangeSongs(SheetA, n, SheetB, n);
    m_host.sheetsExchanged(SheetA, SheetB);
    const QString caption = m_host.tabCaption(SheetA);
    m_host.setTabCaption(SheetA, m_host.tabCaption(SheetB));
    m_host.setTabCaption(SheetB, caption);
}

TfrmSchedual::SlotChange TfrmSchedual::slotBefore(int Sheet, int Slot) const
{
    SlotChange change;
    change.sheet = Sheet;
    change.slot = Slot;
    change.before = m_songInfo.slotContent(Sheet, Slot);
    change.cellBefore = cellText(Sheet, Slot + 1);
    return change;
}

void TfrmSchedual::finishChange(SlotChange& change) const
{
    change.after = m_songInfo.slotContent(change.sheet, change.slot);
    change.cellAfter = cellText(change.sheet, change.slot + 1);
}

void TfrmSchedual::clearSlot(SlotChange& change)
{
    change.hostBefore = m_host.slotExtras(change.sheet, change.slot);
    m_songInfo.ClearSong(change.sheet, change.slot);
    m_host.slotCleared(change.sheet, change.slot);
    setCell(change.sheet, change.slot + 1, EmptyTitle);
    finishChange(change);
    change.toldCleared = true;
}

void TfrmSchedual::pushStep(EditStep step)
{
    step.slots.removeIf([](const SlotChange& change) {
        return change.before == change.after && change.cellBefore == change.cellAfter && !change.toldCleared;
    });
    if (step.slots.isEmpty() && step.exchanges.isEmpty())
        return;
    m_undo << std::move(step);
    m_redo.clear();
}

void TfrmSchedual::applySlots(const EditStep& step, bool forward)
{
    for (const SlotChange& change : step.slots) {
        m_songInfo.restoreSlot(change.sheet, change.slot, forward ? change.after : change.before);
        if (change.toldCleared) {
            if (forward)
                m_host.slotCleared(change.sheet, change.slot);
            else
                m_host.restoreSlotExtras(change.sheet, change.slot, change.hostBefore);
        }
        setCell(change.sheet, change.slot + 1, forward ? change.cellAfter : change.cellBefore);
    }
}

void TfrmSchedual::applyExchanges(const EditStep& step, bool forward)
{
    // Taken back in the opposite order, through the same path as the move, so the main
    // window's keys follow their sheets back.
    const qsizetype count = step.exchanges.size();
    for (qsizetype i = 0; i < count; ++i) {
        const auto [a, b] = step.exchanges[forward ? i : count - 1 - i];
        exchangeSheets(a, b);
        for (int r = 0; r <= SlotCount; ++r) {
            const QString text = cellText(a, r);
            setCell(a, r, cellText(b, r));
            setCell(b, r, text);
        }
    }
}

void TfrmSchedual::undo()
{
    closeCellEditor();
    if (m_undo.isEmpty())
        return;
    EditStep step = m_undo.takeLast();
    applyExchanges(step, false);
    applySlots(step, false);
    m_redo << std::move(step);
}

void TfrmSchedual::redo()
{
    closeCellEditor();
    if (m_redo.isEmpty())
        return;
    EditStep step = m_redo.takeLast();
    applySlots(step, true);
    applyExchanges(step, true);
    m_undo << std::move(step);
}

void TfrmSchedual::autoScrollDrag()
{
    const QRect area = StringGrid->viewport()->rect();
    auto nudge = [](QScrollBar* bar, int pos, int low, int high) {
        if (pos < low + DragScrollMargin)
            bar->setValue(bar->value() - bar->singleStep() * 3);
        else if (pos > high - DragScrollMargin)
            bar->setValue(bar->value() + bar->singleStep() * 3);
    };
    nudge(StringGrid->horizontalScrollBar(), m_dragPos.x(), area.left(), area.right());
    nudge(StringGrid->verticalScrollBar(), m_dragPos.y(), area.top(), area.bottom());
}

bool TfrmSchedual::eventFilter(QObject* watched, QEvent* event)
{
    // A header cell counts as a cell of its column: what is dropped there fills the
    // column from the top as it would from any other of its cells.
    const bool onHeader = watched == StringGrid->horizontalHeader()->viewport();
    if (watched != StringGrid->viewport() && !onHeader)
        return QDialog::eventFilter(watched, event);
    const auto inGrid = [&](QPointF pos) { return onHeader ? QPoint(pos.toPoint().x(), 0) : pos.toPoint(); };
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        bool accepted = false;
        guard([&] { accepted = StringGridDragOver(drag->mimeData(), inGrid(drag->position())); });
        if (accepted && acceptAsCopy(drag)) {
            m_dragPos = inGrid(drag->position());
            m_dragScroll->start();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        m_dragScroll->stop();
        return true;
    case QEvent::Drop: {
        m_dragScroll->stop();
        auto* drop = static_cast<QDropEvent*>(event);
        if (!acceptAsCopy(drop))
            return true;
        guard([&] { StringGridDragDrop(drop->mimeData(), inGrid(drop->position())); });
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}
