// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowGridControl.h"

#include "app/BoardDrop.h"
#include "app/ShowGrid.h"
#include "app/SlotKeyControl.h"
#include "controls/Tranbtn.h"
#include "core/ShowCore.h"
#include "platform/Guard.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

/// Touch-sized: a fingertip's width on a common screen.
constexpr int TouchButton = 64;
constexpr int TouchIcon = 48;
constexpr int TouchTabPixels = 20;

} // namespace

ShowGridControl::ShowGridControl(ShowCore& show, SlotKeyControl& keys, const Parts& parts)
    : QObject(parts.window)
    , m_show(show)
    , m_keys(keys)
    , m_parts(parts)
    , m_grid(new ShowGrid(
          show,
          [&keys](int sheet, int slot) {
              return keys.keyText(SlotRef{sheet, slot});
          },
          parts.tabControl))
    , m_action(new QAction(QStringLiteral("Show &View"), parts.options))
{
    m_grid->hide();
    m_grid->setShowKeys(m_parts.showKeys->isChecked());
    m_action->setCheckable(true);
    m_parts.options->insertAction(m_parts.before, m_action);
    connectGuarded(m_action, &QAction::triggered, this, [this](bool on) { m_show.setShowView(on); });
    connectGuarded(&m_show, &ShowCore::showViewChanged, this, &ShowGridControl::apply);
    connectGuarded(m_parts.showKeys, &QAction::toggled, m_grid, &ShowGrid::setShowKeys);
    connectGuarded(&m_keys, &SlotKeyControl::changed, this, &ShowGridControl::keysChanged);
    connectGuarded(m_grid, &ShowGrid::menuRequested, this,
                   [this](int slot, const QPoint& at) { m_parts.openMenu(slot, at); });
    connectGuarded(m_grid, &ShowGrid::filesDropped, this, [this](const QList<QUrl>& urls, int slot) {
        // The drop is answered first, as on the buttons: a question waits for no file manager.
        const QPointer<BoardDrop> drop = m_parts.window->findChild<BoardDrop*>();
        QTimer::singleShot(0, this, [drop, urls, slot] {
            if (drop)
                guard([&] { drop->dropped(urls, slot); });
        });
    });
    m_parts.tabControl->installEventFilter(this);
    m_parts.window->installEventFilter(this);
    keysChanged();
    apply(m_show.showView());
}

void ShowGridControl::keysChanged()
{
    // The menu item shows its key as the menus' own items do.
    const QString key = m_keys.keyText(KeyCommand::ShowView);
    m_action->setText(QStringLiteral("Show &View") + (key.isEmpty() ? QString() : QLatin1Char('\t') + key));
    m_grid->keysChanged();
}

void ShowGridControl::apply(bool on)
{
    m_action->setChecked(on);
    if (on == m_on)
        return;
    m_on = on;
    const QList<TMTranBtn*> buttons =
        m_parts.tabControl->findChildren<TMTranBtn*>(Qt::FindDirectChildrenOnly);
    // The keyboard's place carries over from one view to the other.
    int focused = -1;
    for (qsizetype k = 0; k < buttons.size(); ++k)
        if (buttons[k]->hasFocus())
            focused = static_cast<int>(k);
    const bool gridFocused = m_grid->hasFocus();
    setTouchSized(on);
    for (TMTranBtn* b : buttons) {
        b->setVisible(!on);
        // The keyboard's ways to a button (Tab from the tabs, the window's first focus) reach the tiles.
        b->setFocusProxy(on ? m_grid : nullptr);
    }
    m_grid->setVisible(on);
    place();
    if (on) {
        m_grid->keysChanged(); // the keys were read after the tiles were made
        m_grid->raise();
        if (focused >= 0)
            m_grid->setFocusedSlot(focused);
        if (focused >= 0 || !m_parts.window->focusWidget() || !m_parts.window->focusWidget()->isVisible())
            m_grid->setFocus(Qt::OtherFocusReason);
    } else if (gridFocused && m_grid->focusedSlot() < buttons.size()) {
        buttons[m_grid->focusedSlot()]->setFocus(Qt::OtherFocusReason);
    }
}

void ShowGridControl::place()
{
    if (!m_on)
        return;
    const QRect area = m_parts.tabControl->rect();
    const int top = m_parts.tabs->geometry().bottom() + 1;
    m_grid->setGeometry(QRect(QPoint(2, top), QPoint(area.right() - 2, area.bottom() - 2)));
}

void ShowGridControl::setTouchSized(bool on)
{
    QList<QToolButton*> tools = m_parts.toolBar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
    if (on) {
        m_toolBarHeight = m_parts.toolBar->height();
        m_tabsPixels = m_parts.tabs->font().pixelSize();
        std::sort(tools.begin(), tools.end(), [](QToolButton* a, QToolButton* b) { return a->x() < b->x(); });
        int left = 5;
        for (QToolButton* b : tools) {
            m_toolPlaces.insert(b, b->geometry());
            b->setGeometry(left, 4, TouchButton, TouchButton);
            b->setIconSize(QSize(TouchIcon, TouchIcon));
            left += TouchButton + 6;
        }
        m_parts.toolBar->setFixedHeight(TouchButton + 9);
    } else {
        for (QToolButton* b : tools) {
            if (!m_toolPlaces.contains(b))
                continue;
            b->setGeometry(m_toolPlaces.value(b));
            b->setIconSize(QSize(32, 32));
        }
        if (m_toolBarHeight > 0)
            m_parts.toolBar->setFixedHeight(m_toolBarHeight);
    }
    QFont font = m_parts.tabs->font();
    if (on)
        font.setPixelSize(TouchTabPixels);
    else if (m_tabsPixels > 0)
        font.setPixelSize(m_tabsPixels);
    m_parts.tabs->setFont(font);
    m_parts.tabs->resize(m_parts.tabControl->width() - 4, m_parts.tabs->sizeHint().height());
    m_parts.tabControl->update();
}

bool ShowGridControl::eventFilter(QObject* watched, QEvent* event)
{
    guard([&] {
        if (watched == m_parts.tabControl && event->type() == QEvent::Resize) {
            // The strip lays its tabs out first; the grid takes the room below them.
            QTimer::singleShot(0, this, [this] { guard([this] { place(); }); });
            place();
        } else if (watched == m_parts.window && event->type() == QEvent::Show && m_on) {
            m_grid->keysChanged();                  // read after the tiles were made
            m_grid->setFocus(Qt::OtherFocusReason); // the show view has the keyboard from the start
        }
    });
    return QObject::eventFilter(watched, event);
}
