// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SlotKeys.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>

class Dialogs;
class QPushButton;
class QTableWidget;

/// One line of the key list: what a key does and where.
struct KeyListRow {
    KeyTarget target;
    QString key;       ///< as the operator reads it; empty for a command without a key
    QString sheet;     ///< the sheet's name; empty for a command
    QString button;    ///< the button's number, or the command's name
    QString title;     ///< the song's title; empty for a command
    QString midi;      ///< its MIDI notes and controls as the operator reads them; empty for none
    bool menu = false; ///< a menu item's own key: listed for the paperwork, never given or cleared here
};

/// Every key at a glance, for the show's paperwork: the transport commands first (with or
/// without a key, so that each can be given one here), then the slots' keys by sheet and button,
/// then the menus' own keys, which cannot be given or cleared. The columns keep the widths they
/// have: a line given a longer text widens its column, none ever narrows.
/// A key is given or cleared from the list (its MIDI notes with it), and the list printed or
/// saved as text. "MIDI Input..." narrows what the board listens to, when MIDI is there.
class TfrmKeys : public QDialog {
    Q_OBJECT
public:
    /// The board's side of the list: its rows as they are now, giving and clearing keys, and
    /// the MIDI input's dialog (none: no such button).
    struct Board {
        std::function<QList<KeyListRow>()> rows;
        std::function<void(const KeyTarget&)> assign;
        std::function<void(const KeyTarget&)> clear;
        std::function<void()> midiInput = nullptr;
    };

    TfrmKeys(QWidget* owner, Dialogs& dialogs, Board board);

    /// The list as plain text in columns, with a heading line.
    [[nodiscard]] static QString asText(const QList<KeyListRow>& rows);

    QTableWidget* lstKeys = nullptr;
    QPushButton* btnAssign = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnMidiInput = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClose = nullptr;

    void btnAssignClick();
    void btnClearClick();
    void btnPrintClick();
    void btnSaveClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refill();
    void followSelection();
    /// The selected line, when it can be given a key; -1 otherwise.
    [[nodiscard]] int currentRow() const;

    Dialogs& m_dialogs;
    Board m_board;
    QList<KeyListRow> m_rows;
    bool m_widthsSet = false; ///< the first fill measured the columns
};
