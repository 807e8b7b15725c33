// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmKeys.h"

#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"
#include "platform/ProgramModule.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QStringList Headings = {QStringLiteral("Key"), QStringLiteral("MIDI"), QStringLiteral("Sheet"),
                              QStringLiteral("Button"), QStringLiteral("Title")};

QStringList cells(const KeyListRow& row)
{
    return {row.key, row.midi, row.sheet, row.button, row.title};
}

} // namespace

TfrmKeys::TfrmKeys(QWidget* owner, Dialogs& dialogs, Board board)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_dialogs(dialogs)
    , m_board(std::move(board))
{
    setWindowTitle(QStringLiteral("Keys"));
    setFont(Fonts::msSansSerif(11));
    resize(640, 400);
    auto* layout = new QVBoxLayout(this);
    lstKeys = new QTableWidget(0, static_cast<int>(Headings.size()), this);
    lstKeys->setHorizontalHeaderLabels(Headings);
    lstKeys->verticalHeader()->hide();
    lstKeys->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstKeys->setSelectionMode(QAbstractItemView::SingleSelection);
    lstKeys->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstKeys->setTabKeyNavigation(false);
    lstKeys->horizontalHeader()->setStretchLastSection(true);
    lstKeys->verticalHeader()->setDefaultSectionSize(lstKeys->fontMetrics().height() + 6);
    lstKeys->installEventFilter(this); // Enter gives the selected line a key
    layout->addWidget(lstKeys, 1);

    auto* buttons = new QHBoxLayout;
    btnAssign = new QPushButton(QStringLiteral("&Assign..."), this);
    btnClear = new QPushButton(QStringLiteral("&Clear"), this);
    btnPrint = new QPushButton(QStringLiteral("&Print..."), this);
    btnSave = new QPushButton(QStringLiteral("&Save As..."), this);
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    for (QPushButton* b : {btnAssign, btnClear, btnPrint, btnSave})
        b->setAutoDefault(false);
    btnClose->setDefault(true);
    buttons->addWidget(btnAssign);
    buttons->addWidget(btnClear);
    if (m_board.midiInput) {
        btnMidiInput = new QPushButton(QStringLiteral("&MIDI Input..."), this);
        btnMidiInput->setAutoDefault(false);
        buttons->addWidget(btnMidiInput);
        connectGuarded(btnMidiInput, &QPushButton::clicked, this, [this] { m_board.midiInput(); });
    }
    buttons->addStretch(1);
    buttons->addWidget(btnPrint);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);

    connectGuarded(btnAssign, &QPushButton::clicked, this, &TfrmKeys::btnAssignClick);
    connectGuarded(btnClear, &QPushButton::clicked, this, &TfrmKeys::btnClearClick);
    connectGuarded(btnPrint, &QPushButton::clicked, this, &TfrmKeys::btnPrintClick);
    connectGuarded(btnSave, &QPushButton::clicked, this, &TfrmKeys::btnSaveClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connectGuarded(lstKeys, &QTableWidget::itemDoubleClicked, this, [this] { btnAssignClick(); });
    connectGuarded(lstKeys, &QTableWidget::currentCellChanged, this, &TfrmKeys::followSelection);
    refill();
    lstKeys->setFocus();
}

bool TfrmKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstKeys && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Taken here: passed on, it would also press the default button and close the list.
            guard([this] { btnAssignClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

int TfrmKeys::currentRow() const
{
    const int row = lstKeys->currentRow();
    return row >= 0 && row < m_rows.size() && !m_rows[row].menu ? row : -1;
}

void TfrmKeys::followSelection()
{
    const bool assignable = currentRow() >= 0;
    btnAssign->setEnabled(assignable);
    btnClear->setEnabled(assignable);
}

void TfrmKeys::refill()
{
    const int keep = std::max(0, lstKeys->currentRow());
    m_rows = m_board.rows();
    lstKeys->setRowCount(static_cast<int>(m_rows.size()));
    for (int r = 0; r < m_rows.size(); ++r) {
        const QStringList texts = cells(m_rows[r]);
        for (int c = 0; c < texts.size(); ++c)
            lstKeys->setItem(r, c, new QTableWidgetItem(texts[c]));
    }
    // A longer text widens its column; none narrows. The view measures only the lines in sight
    // once it is shown, so a fresh measure alone would narrow the columns after every change.
    QList<int> widths;
    for (int c = 0; c < lstKeys->columnCount(); ++c)
        widths << lstKeys->columnWidth(c);
    lstKeys->resizeColumnsToContents();
    if (m_widthsSet)
        for (int c = 0; c < lstKeys->columnCount(); ++c)
            lstKeys->setColumnWidth(c, std::max(widths[c], lstKeys->columnWidth(c)));
    m_widthsSet = true;
    if (!m_rows.isEmpty())
        lstKeys->setCurrentCell(std::min(keep, static_cast<int>(m_rows.size()) - 1), 0);
    followSelection();
}

void TfrmKeys::btnAssignClick()
{
    if (const int row = currentRow(); row >= 0) {
        m_board.assign(m_rows[row].target);
        refill();
    }
}

void TfrmKeys::btnClearClick()
{
    if (const int row = currentRow(); row >= 0) {
        m_board.clear(m_rows[row].target);
        refill();
    }
}

QString TfrmKeys::asText(const QList<KeyListRow>& rows)
{
    QList<int> widths;
    for (const QString& h : Headings)
        widths << static_cast<int>(h.size());
    for (const KeyListRow& row : rows) {
        const QStringList texts = cells(row);
        for (int c = 0; c < texts.size(); ++c)
            widths[c] = std::max(widths[c], static_cast<int>(texts[c].size()));
    }
    auto line = [&](const QStringList& texts) -> QString {
        QString out;
        for (int c = 0; c < texts.size(); ++c)
            out += c + 1 < texts.size() ? texts[c].leftJustified(widths[c] + 2) : texts[c];
        // Only the end is trimmed: a line without a key keeps its columns.
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        return out + QLatin1Char('\n');
    };
    QString text = line(Headings);
    for (const KeyListRow& row : rows)
        text += line(cells(row));
    return text;
}

void TfrmKeys::btnPrintClick()
{
    // Printing lives in a library of its own, loaded at the first print.
    using PrintText = bool (*)(QWidget * parent, const QString& text);
    QString error;
    const auto print = reinterpret_cast<PrintText>(
        ProgramModule::entry(QStringLiteral("libsonavex-print.so"), "sonavexPrintText", &error));
    if (!print)
        throw GeneralError(QStringLiteral("Printing is not available: ") + error);
    print(this, asText(m_rows));
}

void TfrmKeys::btnSaveClick()
{
    const std::optional<QString> path =
        m_dialogs.saveFileName(this, QDir::homePath(), QStringLiteral("Text files (*.txt)"));
    if (!path)
        return;
    AtomicFileWriter writer;
    if (!writer.replace(*path, asText(m_rows).toUtf8()))
        throw GeneralError(writer.errorString());
}
