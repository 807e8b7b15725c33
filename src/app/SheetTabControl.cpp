// SPDX-License-Identifier: GPL-3.0-or-later
#include "SheetTabControl.h"

#include "platform/Guard.h"

#include <QEvent>
#include <QHoverEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>

bool SheetTabBar::event(QEvent* event)
{
    bool handled = false;
    guard([&] {
        switch (event->type()) {
        case QEvent::HoverEnter:
        case QEvent::HoverMove:
            setHover(tabAt(static_cast<QHoverEvent*>(event)->position().toPoint()));
            break;
        case QEvent::HoverLeave:
            setHover(-1);
            break;
        default:
            break;
        }
        handled = QTabBar::event(event);
    });
    return handled;
}

void SheetTabBar::paintEvent(QPaintEvent* event)
{
    guard([&] {
        QTabBar::paintEvent(event);
        if (m_hover < 0 || m_hover == currentIndex() || m_hover >= count())
            return;
        QPainter p(this);
        QColor light = palette().color(QPalette::Highlight);
        light.setAlpha(56);
        p.fillRect(tabRect(m_hover).adjusted(2, 2, -2, 0), light);
    });
}

void SheetTabBar::setHover(int index)
{
    if (index == m_hover)
        return;
    if (m_hover >= 0)
        update(tabRect(m_hover));
    m_hover = index;
    if (m_hover >= 0)
        update(tabRect(m_hover));
}

SheetTabControl::SheetTabControl(QWidget* parent)
    : QWidget(parent)
    , tabBar(new SheetTabBar(this))
{
    tabBar->setDrawBase(false);
    tabBar->setExpanding(false);
    tabBar->setUsesScrollButtons(true);
    tabBar->setCursor(Qt::PointingHandCursor);
    tabBar->setContextMenuPolicy(Qt::NoContextMenu);
    tabBar->setAttribute(Qt::WA_Hover);
    tabBar->move(2, 0);
}

void SheetTabControl::resizeEvent(QResizeEvent*)
{
    tabBar->resize(width() - 4, tabBar->sizeHint().height());
}

void SheetTabControl::paintEvent(QPaintEvent*)
{
    guard([this] {
        QPainter p(this);
        QStyleOptionTabWidgetFrame frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(0, tabBar->height() - 1, 0, 0);
        frame.shape = QTabBar::RoundedNorth;
        frame.tabBarSize = tabBar->size();
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);
    });
}
