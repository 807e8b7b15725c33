// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowView.h"

#include "app/StatusNews.h"
#include "controls/Tranbtn.h"

#include <QAction>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>

#include <algorithm>

namespace {
/// The position panel's width as the window lays it out.
constexpr int PositionPanelWidth = 75;
} // namespace

ShowView::ShowView(ShowCore& show, const Widgets& widgets, QObject* parent)
    : QObject(parent)
    , m_show(show)
    , m_w(widgets)
{
    for (int i = 0; i < Board::Sheets; ++i)
        m_w.tabs->setTabText(i, m_show.sheetName(i));
    m_w.tabs->setCurrentIndex(m_show.shownSheet());
    setTransport(m_show.transport());
    for (int i = 0; i < 3; ++i)
        m_w.panels[static_cast<std::size_t>(i)]->setText(m_show.statusText(i));
    setFinalSeconds(m_show.finalSeconds());

    connect(&m_show, &ShowCore::slotChanged, this,
            [this](int sheet, int slot, SlotState state, const QString& title) {
                if (sheet == m_show.shownSheet())
                    showSlot(slot, state, title);
            });
    connect(&m_show, &ShowCore::sheetNameChanged, this,
            [this](int sheet, const QString& name) { m_w.tabs->setTabText(sheet, name); });
    connect(&m_show, &ShowCore::sheetShown, this, [this](int sheet) { m_w.tabs->setCurrentIndex(sheet); });
    connect(&m_show, &ShowCore::transportChanged, this, &ShowView::setTransport);
    connect(&m_show, &ShowCore::statusChanged, this, [this](int panel, const QString& text) {
        m_w.panels[static_cast<std::size_t>(panel)]->setText(text);
    });
    connect(&m_show, &ShowCore::finalSecondsChanged, this, &ShowView::setFinalSeconds);
    connect(&m_show, &ShowCore::newsSaid, m_w.news, &StatusNews::say);
    connect(&m_show, &ShowCore::newsCleared, m_w.news, &StatusNews::clear);
}

void ShowView::showSheet(int sheet)
{
    for (int k = 0; k < Board::Slots; ++k)
        showSlot(k, m_show.slotState(sheet, k), m_show.slotTitle(sheet, k));
}

void ShowView::showSlot(int slot, SlotState state, const QString& title)
{
    TMTranBtn* b = m_w.buttons[static_cast<std::size_t>(slot)];
    if (!b)
        return;
    b->setCaption(title);
    b->setFontColor(captionColour(state));
    b->update();
}

void ShowView::setTransport(const Transport& transport)
{
    m_w.play->setEnabled(transport.play);
    m_w.stop->setEnabled(transport.stop);
    m_w.pause->setEnabled(transport.pause);
    m_w.stopSong->setEnabled(transport.stopSong);
    m_w.stopAll->setEnabled(transport.stopAll);
    m_w.playSong->setEnabled(transport.playSong);
}

void ShowView::setFinalSeconds(bool on)
{
    QPalette colours = m_w.panels[0]->palette();
    colours.setColor(QPalette::WindowText, on ? QColor(255, 0, 0) : QColor(0, 128, 0));
    m_w.panels[0]->setPalette(colours);
}

void ShowView::fitPositionPanel(bool timeLeft)
{
    // The minus takes a digit's room in the segment face: the panel grows by it while the time
    // left shows, and is its own width otherwise.
    QLabel* panel = m_w.panels[0];
    const int needed = panel->fontMetrics().horizontalAdvance(QStringLiteral("-00:00")) +
                       2 * panel->frameWidth() + 2 * panel->fontMetrics().averageCharWidth() / 3;
    panel->setFixedWidth(timeLeft ? std::max(PositionPanelWidth, needed) : PositionPanelWidth);
}
