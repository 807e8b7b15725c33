// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

/// A flat coloured panel with an optional raised or lowered bevel, drawn the
/// classic way: light edges top and left, dark edges bottom and right when raised,
/// the other way round when lowered. The splash window builds its frame from two.
class BevelPanel : public QWidget {
    Q_OBJECT
public:
    enum class Bevel { None, Lowered, Raised };

    BevelPanel(const QColor& color, Bevel bevel, int bevelWidth, QWidget* parent = nullptr);

    [[nodiscard]] QColor color() const { return m_color; }
    [[nodiscard]] Bevel bevel() const { return m_bevel; }
    [[nodiscard]] int bevelWidth() const { return m_bevelWidth; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    Bevel m_bevel;
    int m_bevelWidth;
};
