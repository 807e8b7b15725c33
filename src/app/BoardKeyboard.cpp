// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardKeyboard.h"

#include "controls/Tranbtn.h"
#include "platform/Guard.h"
#include "platform/KeyRepeatGuard.h"
#include "show/Board.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <utility>

namespace {

/// How long a release of Enter waits for the press of a window system's repeat that may follow it.
constexpr int RepeatSettleMs = 40;

struct OwnKey {
    QKeySequence key;
    QString use;
};

/// Keys that move the focus or press the focused control; they never go to an assignment.
QList<OwnKey> focusKeys()
{
    return {
        {QKeySequence(Qt::Key_Return), QStringLiteral("Press")},
        {QKeySequence(Qt::Key_Enter), QStringLiteral("Press")},
        {QKeySequence(Qt::KeypadModifier | Qt::Key_Enter), QStringLiteral("Press")},
        {QKeySequence(Qt::Key_Left), QStringLiteral("Move the Focus")},
        {QKeySequence(Qt::Key_Right), QStringLiteral("Move the Focus")},
        {QKeySequence(Qt::Key_Up), QStringLiteral("Move the Focus")},
        {QKeySequence(Qt::Key_Down), QStringLiteral("Move the Focus")},
        {QKeySequence(Qt::Key_Tab), QStringLiteral("Move the Focus")},
        {QKeySequence(Qt::Key_Backtab), QStringLiteral("Move the Focus")},
        {QKeySequence(Qt::Key_Menu), QStringLiteral("Button Menu")},
    };
}

bool isEnter(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

} // namespace

BoardKeyboard::BoardKeyboard(QWidget* window, Board& board, QTabBar* tabs,
                             const std::array<TMTranBtn*, 36>& buttons, QList<QToolButton*> toolBar)
    : QObject(window)
    , m_window(window)
    , m_board(board)
    , m_tabs(tabs)
    , m_buttons(buttons)
    , m_toolBar(std::move(toolBar))
    , m_repeats(new KeyRepeatGuard(this))
{
    m_window->installEventFilter(this);
    for (TMTranBtn* b : m_buttons)
        b->installEventFilter(this);
    for (QToolButton* b : m_toolBar) {
        b->setFocusPolicy(Qt::TabFocus); // a click leaves the focus where it is
        b->installEventFilter(this);
    }
    // Tab order: the tab strip, the grid, the tool bar.
    QWidget::setTabOrder(m_tabs, m_buttons.front());
    for (std::size_t k = 1; k < m_buttons.size(); ++k)
        QWidget::setTabOrder(m_buttons[k - 1], m_buttons[k]);
    QWidget* previous = m_buttons.back();
    for (QToolButton* b : m_toolBar) {
        QWidget::setTabOrder(previous, b);
        previous = b;
    }
    setTakenKeys({});
}

QHash<QKeySequence, QString> BoardKeyboard::ownKeys()
{
    QHash<QKeySequence, QString> keys;
    for (const OwnKey& k : focusKeys())
        keys.insert(k.key, k.use);
    keys.insert(QKeySequence(Qt::CTRL | Qt::Key_PageDown), QStringLiteral("Next Sheet"));
    keys.insert(QKeySequence(Qt::CTRL | Qt::Key_PageUp), QStringLiteral("Previous Sheet"));
    keys.insert(QKeySequence(Qt::CTRL | Qt::Key_Tab), QStringLiteral("Next Sheet"));
    keys.insert(QKeySequence(Qt::CTRL | Qt::Key_Backtab), QStringLiteral("Previous Sheet"));
    for (int n = 0; n < 10; ++n)
        keys.insert(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + n)),
                    QStringLiteral("Sheet %1").arg(n == 0 ? 10 : n));
    keys.insert(QKeySequence(Qt::SHIFT | Qt::Key_F10), QStringLiteral("Button Menu"));
    return keys;
}

void BoardKeyboard::setTakenKeys(const QList<QKeySequence>& taken)
{
    qDeleteAll(m_shortcuts);
    m_shortcuts.clear();
    auto add = [&](const QKeySequence& key, std::function<void()> action) {
        if (taken.contains(key))
            return; // the operator gave this key to something else
        auto* shortcut = new QShortcut(key, m_window);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [run = std::move(action)] { guard(run); });
        m_shortcuts << shortcut;
    };
    const auto step = [this](int by) {
        return [this, by] { showSheet((m_board.shownSheet() + by + Board::Sheets) % Board::Sheets); };
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_PageDown), step(1));
    add(QKeySequence(Qt::CTRL | Qt::Key_PageUp), step(-1));
    add(QKeySequence(Qt::CTRL | Qt::Key_Tab), step(1));
    // Ctrl+Shift+Tab comes as Backtab: the X11 key map finds it as Tab, others as Backtab.
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), step(-1));
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), step(-1));
    for (int n = 0; n < 10; ++n)
        add(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + n)),
            [this, n] { showSheet(n == 0 ? 9 : n - 1); });
    add(QKeySequence(Qt::SHIFT | Qt::Key_F10), [this] { Q_EMIT menuRequested(m_slot); });
}

void BoardKeyboard::showSheet(int sheet)
{
    m_board.showSheet(sheet);
}

void BoardKeyboard::focusSlot(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(m_buttons.size()))
        return;
    m_slot = slot;
    m_buttons[static_cast<std::size_t>(slot)]->setFocus(Qt::OtherFocusReason);
}

void BoardKeyboard::moveTo(int slot)
{
    // The keyboard moved the focus: from now on the focus mark shows, as the desktop's cues do.
    m_window->setAttribute(Qt::WA_KeyboardFocusChange);
    m_slot = slot;
    m_buttons[static_cast<std::size_t>(slot)]->setFocus(Qt::TabFocusReason);
}

bool BoardKeyboard::focusNextPrev(bool next)
{
    QWidget* focus = m_window->focusWidget();
    if (!focus)
        return false;
    // The grid is its buttons, or what stands in for them (the show view's tiles).
    const bool inGrid = std::find(m_buttons.begin(), m_buttons.end(), focus) != m_buttons.end() ||
                        (m_buttons.front()->focusProxy() && focus == m_buttons.front()->focusProxy());
    QWidget* target = nullptr;
    if (inGrid) {
        if (next) {
            for (QToolButton* b : m_toolBar)
                if (b->isEnabled() && b->isVisible()) {
                    target = b;
                    break;
                }
        } else {
            target = m_tabs;
        }
    } else if (focus == m_tabs && next) {
        target = m_buttons[static_cast<std::size_t>(m_slot)];
    } else if (!next && !m_toolBar.isEmpty()) {
        // Back from the first enabled tool button lands in the grid.
        QToolButton* first = nullptr;
        for (QToolButton* b : m_toolBar)
            if (b->isEnabled() && b->isVisible()) {
                first = b;
                break;
            }
        if (focus == first)
            target = m_buttons[static_cast<std::size_t>(m_slot)];
    }
    if (!target)
        return false;
    m_window->setAttribute(Qt::WA_KeyboardFocusChange);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool BoardKeyboard::buttonKey(int slot, QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (isEnter(event) && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        m_enterLetGo = 0; // pressed again at once: the release before it was a repeat's
        if (m_repeats->lastPressRepeated(event->key()) || event->isAutoRepeat())
            return true; // a key held down presses once
        if (mods == Qt::ShiftModifier) {
            m_board.queue(m_board.shownSheet(), slot, PressedBy::Key);
        } else {
            m_enterSheet = m_board.shownSheet();
            m_enterSlot = slot;
            m_board.press(m_enterSheet, slot, PressedBy::Key);
        }
        return true;
    }
    if (mods != Qt::NoModifier)
        return false;
    const int row = slot / Columns;
    const int column = slot % Columns;
    const int rows = static_cast<int>(m_buttons.size()) / Columns;
    int to = slot;
    switch (event->key()) {
    case Qt::Key_Left:
        to = column > 0 ? slot - 1 : slot;
        break;
    case Qt::Key_Right:
        to = column < Columns - 1 ? slot + 1 : slot;
        break;
    case Qt::Key_Up:
        to = row > 0 ? slot - Columns : slot;
        break;
    case Qt::Key_Down:
        to = row < rows - 1 ? slot + Columns : slot;
        break;
    default:
        return false;
    }
    moveTo(to); // at an edge the focus stays, and its mark shows
    return true;
}

bool BoardKeyboard::eventFilter(QObject* watched, QEvent* event)
{
    bool handled = false;
    guard([&] {
        if (watched == m_window) {
            // Enter's release now goes elsewhere: the press it began is let go of.
            if (event->type() == QEvent::WindowDeactivate && m_enterSlot >= 0)
                releaseEnter();
            return;
        }
        if (auto* tool = qobject_cast<QToolButton*>(watched)) {
            // A focused tool button takes Enter and Space, before any shortcut.
            if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
                auto* key = static_cast<QKeyEvent*>(event);
                const bool own = (isEnter(key) || key->key() == Qt::Key_Space) &&
                                 (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
                if (own && event->type() == QEvent::ShortcutOverride) {
                    event->accept();
                    handled = true;
                } else if (own && isEnter(key)) {
                    if (!key->isAutoRepeat())
                        tool->click();
                    handled = true;
                }
            }
            return;
        }
        const auto it = std::find(m_buttons.begin(), m_buttons.end(), watched);
        if (it == m_buttons.end())
            return;
        const int slot = static_cast<int>(it - m_buttons.begin());
        if (event->type() == QEvent::FocusIn)
            m_slot = slot;
        else if (event->type() == QEvent::KeyPress)
            handled = buttonKey(slot, static_cast<QKeyEvent*>(event));
        else if (event->type() == QEvent::KeyRelease)
            enterReleased(*static_cast<QKeyEvent*>(event));
    });
    return handled;
}

void BoardKeyboard::enterReleased(const QKeyEvent& event)
{
    if (!isEnter(&event) || event.isAutoRepeat() || m_enterSlot < 0)
        return;
    // The window system may follow it at once with the press of a repeat: wait a moment for it.
    const quint64 release = m_enterLetGo = ++m_enterReleases;
    QTimer::singleShot(RepeatSettleMs, this, [this, release] {
        if (m_enterLetGo == release)
            guard([&] { releaseEnter(); });
    });
}

void BoardKeyboard::releaseEnter()
{
    m_enterLetGo = 0;
    const int sheet = std::exchange(m_enterSheet, -1);
    const int slot = std::exchange(m_enterSlot, -1);
    m_board.release(sheet, slot, PressedBy::Key);
}
