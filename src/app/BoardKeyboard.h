// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>

#include <array>

class Board;
class KeyRepeatGuard;
class QKeyEvent;
class QShortcut;
class QTabBar;
class QToolButton;
class QWidget;
class TMTranBtn;

/// The board run from the keyboard, through the board's commands: the focus on the sound
/// buttons (the arrows move it over the grid and stop at its edges, Enter presses the focused
/// button, Shift+Enter queues it), the sheet keys, Shift+F10 for the focused button's menu, and
/// the Tab order tab strip, grid, tool bar, in which the grid is one stop that keeps its place.
/// The keys of the operator's own assignments win over the board's own.
class BoardKeyboard : public QObject {
    Q_OBJECT
public:
    static constexpr int Columns = 6;

    BoardKeyboard(QWidget* window, Board& board, QTabBar* tabs, const std::array<TMTranBtn*, 36>& buttons,
                  QList<QToolButton*> toolBar);

    /// The grid's place of the focus: the focused button's slot, or the one focused last.
    [[nodiscard]] int focusedSlot() const { return m_slot; }
    /// Puts the focus on `slot` without showing the keyboard's cues.
    void focusSlot(int slot);

    /// The board's own keys with what each does, for the key dialog's refusals.
    [[nodiscard]] static QHash<QKeySequence, QString> ownKeys();
    /// Makes the board's shortcuts anew, leaving out the keys in `taken`.
    void setTakenKeys(const QList<QKeySequence>& taken);

    /// Moves the focus one Tab stop on; false when Qt's own order applies.
    bool focusNextPrev(bool next);

Q_SIGNALS:
    /// Shift+F10: open the menu of the focused button.
    void menuRequested(int slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool buttonKey(int slot, QKeyEvent* event);
    /// Enter let go of on a button: the release of its press, once no repeat follows.
    void enterReleased(const QKeyEvent& event);
    /// Releases the button Enter pressed; also when the window goes inactive while Enter is held.
    void releaseEnter();
    void moveTo(int slot);
    void showSheet(int sheet);

    QWidget* m_window;
    Board& m_board;
    QTabBar* m_tabs;
    std::array<TMTranBtn*, 36> m_buttons;
    QList<QToolButton*> m_toolBar;
    KeyRepeatGuard* m_repeats;
    QList<QShortcut*> m_shortcuts;
    int m_slot = 0;
    int m_enterSheet = -1; ///< the button a plain Enter pressed, while it is held
    int m_enterSlot = -1;
    quint64 m_enterLetGo = 0; ///< counts Enter's releases; 0 while none waits
    quint64 m_enterReleases = 0;
};
