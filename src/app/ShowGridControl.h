// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QRect>

#include <functional>

class QAction;
class QMenu;
class QPoint;
class QTabBar;
class QToolButton;
class QWidget;
class ShowCore;
class ShowGrid;
class SlotKeyControl;

/// The show view as the main window holds it: the Options menu's "Show View" item, the grid of
/// tiles in place of the sound buttons while it is on, and the tab strip and the transport made
/// touch-sized. It follows the show's option one way; its key is a command of the Keys list.
class ShowGridControl : public QObject {
    Q_OBJECT
public:
    struct Parts {
        QWidget* window;
        QMenu* options;
        QAction* before;   ///< the menu item "Show View" goes above
        QAction* showKeys; ///< key captions on or off
        QWidget* tabControl;
        QTabBar* tabs;
        QWidget* toolBar;
        /// Opens the button menu of `slot` at `globalPos`.
        std::function<void(int slot, const QPoint& globalPos)> openMenu;
    };

    ShowGridControl(ShowCore& show, SlotKeyControl& keys, const Parts& parts);

    [[nodiscard]] ShowGrid* grid() const { return m_grid; }
    [[nodiscard]] QAction* action() const { return m_action; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(bool on);
    void place();
    void setTouchSized(bool on);
    void keysChanged();

    ShowCore& m_show;
    SlotKeyControl& m_keys;
    Parts m_parts;
    ShowGrid* m_grid;
    QAction* m_action;
    bool m_on = false;
    QHash<QToolButton*, QRect> m_toolPlaces; ///< the tool buttons' places in the board view
    int m_toolBarHeight = 0;
    int m_tabsPixels = 0;
};
