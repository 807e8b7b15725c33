// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <array>

class Dialogs;
class SheetHost;
class TMTranBtn;
class TSongInfo;
class QWidget;

/// Audio files dropped from a file manager onto the sound buttons become songs of the shown
/// sheet, stored as the editor adds them. One file fills the button it lands on, after a
/// question when that button has a song; several files, or a folder's songs, fill the free
/// buttons from there on, sheet after sheet. What cannot be played, and what finds no free
/// button, is named in one box. Nothing that plays or waits in the queue is touched.
class BoardDrop : public QObject {
    Q_OBJECT
public:
    BoardDrop(QWidget* window, TSongInfo& songs, SheetHost& host, Dialogs& dialogs,
              const std::array<TMTranBtn*, 36>& buttons);

    /// What a drop of `urls` onto button `Slot` of the shown sheet does.
    void dropped(const QList<QUrl>& urls, int Slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] int slotOf(const QObject* button) const;

    QWidget* m_window;
    TSongInfo& m_songs;
    SheetHost& m_host;
    Dialogs& m_dialogs;
    std::array<TMTranBtn*, 36> m_buttons;
};
