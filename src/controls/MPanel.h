// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

/// Sides of a panel, one bit each.
enum class TSide : quint8 { sdLeft = 0, sdTop = 1, sdRight = 2, sdBottom = 3 };
using TSides = quint8; ///< bit n stands for the side with value n
constexpr TSides sideBit(TSide side)
{
    return static_cast<TSides>(1u << static_cast<unsigned>(side));
}
constexpr TSides AllSides = 0x0F;

enum class TVerticalAlignment : quint8 { vaTop = 0, vaCenter = 1, vaBottom = 2 };
enum class TPanelBevel : quint8 { bvNone = 0, bvLowered = 1, bvRaised = 2 };

/// A panel whose black border lines and bevels can be limited to chosen sides and
/// whose caption can be aligned vertically.
class TMPanel : public QWidget {
    Q_OBJECT
public:
    explicit TMPanel(QWidget* owner = nullptr);

    [[nodiscard]] TSides BevelSides() const { return m_bevelSides; }
    void setBevelSides(TSides sides);
    [[nodiscard]] QColor BorderColor() const { return m_borderColor; }
    void setBorderColor(const QColor& color);
    /// Sides that get a one-pixel black line; the client area shrinks by one pixel there.
    [[nodiscard]] TSides BorderSides() const { return m_borderSides; }
    void setBorderSides(TSides sides);
    [[nodiscard]] TVerticalAlignment VerticalAlignment() const { return m_verticalAlignment; }
    void setVerticalAlignment(TVerticalAlignment alignment);

    [[nodiscard]] TPanelBevel BevelInner() const { return m_bevelInner; }
    void setBevelInner(TPanelBevel bevel);
    [[nodiscard]] TPanelBevel BevelOuter() const { return m_bevelOuter; }
    void setBevelOuter(TPanelBevel bevel);
    [[nodiscard]] int BevelWidth() const { return m_bevelWidth; }
    void setBevelWidth(int width);
    [[nodiscard]] int BorderWidth() const { return m_borderWidth; }
    void setBorderWidth(int width);
    [[nodiscard]] Qt::Alignment Alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    [[nodiscard]] QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    [[nodiscard]] QColor Color() const { return m_color; }
    void setColor(const QColor& color);

    /// The area left for child controls.
    [[nodiscard]] QRect ClientRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TSides m_bevelSides = AllSides;
    QColor m_borderColor;
    TSides m_borderSides = 0;
    TVerticalAlignment m_verticalAlignment = TVerticalAlignment::vaCenter;
    TPanelBevel m_bevelInner = TPanelBevel::bvNone;
    TPanelBevel m_bevelOuter = TPanelBevel::bvRaised;
    int m_bevelWidth = 1;
    int m_borderWidth = 0;
    Qt::Alignment m_alignment = Qt::AlignHCenter;
    QString m_caption;
    QColor m_color;
};
