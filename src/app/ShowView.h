// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ShowCore.h"

#include <QObject>

#include <array>

class QAction;
class QLabel;
class QTabBar;
class QToolButton;
class StatusNews;
class TMTranBtn;

/// The main window's widgets as the show tells them, one way: the shown sheet's buttons (title
/// and colour), the tab names and the shown tab, the transport's enabled controls, the status
/// panels and the news. Nothing here is read back by the show.
class ShowView : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        QTabBar* tabs;
        std::array<TMTranBtn*, 36> buttons;
        QToolButton* play;
        QToolButton* stop;
        QToolButton* pause;
        QAction* stopSong;
        QAction* stopAll;
        QAction* playSong;
        std::array<QLabel*, 3> panels;
        StatusNews* news;
    };

    /// Shows what the show tells now, and follows it from here on.
    ShowView(ShowCore& show, const Widgets& widgets, QObject* parent);

    /// Every button of `sheet` as the show tells it.
    void showSheet(int sheet);
    /// The position panel as wide as what it shows needs: the time left needs a minus.
    void fitPositionPanel(bool timeLeft);

private:
    void setTransport(const Transport& transport);
    void showSlot(int slot, SlotState state, const QString& title);
    void setFinalSeconds(bool on);

    ShowCore& m_show;
    Widgets m_w;
};
