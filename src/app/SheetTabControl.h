// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTabBar>
#include <QWidget>

/// The tabs of the strip. The tab under the pointer lights up unless it is the shown one.
class SheetTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

    [[nodiscard]] int hoveredTab() const { return m_hover; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setHover(int index);

    int m_hover = -1;
};

/// The tab strip: the tabs on top and one page below them that holds the 36 buttons.
class SheetTabControl : public QWidget {
public:
    explicit SheetTabControl(QWidget* parent);

    QTabBar* tabBar;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
