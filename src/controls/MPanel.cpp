// SPDX-License-Identifier: GPL-3.0-or-later
#include "MPanel.h"

#include "Setters.h"

#include "SystemColors.h"
#include "TextDrawing.h"
#include "platform/Guard.h"

#include <QPainter>
#include <QPalette>

namespace {

bool hasSide(TSides sides, TSide side)
{
    return (sides & sideBit(side)) != 0;
}

/// The sides of `r` in `sides`: left and top in `first`, right and bottom in `second`,
/// one pixel wide on the rectangle's outermost pixels.
void drawSides(QPainter& p, const QRect& r, const QColor& first, const QColor& second, TSides sides)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    if (hasSide(sides, TSide::sdLeft))
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), first);
    if (hasSide(sides, TSide::sdTop))
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), first);
    if (hasSide(sides, TSide::sdRight))
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), second);
    if (hasSide(sides, TSide::sdBottom))
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), second);
}

/// `width` rings of sides, each one pixel inside the last whatever `sides` holds.
void drawBand(QPainter& p, QRect& r, int width, const QColor& first, const QColor& second, TSides sides)
{
    for (int i = 0; i < width; ++i) {
        drawSides(p, r, first, second, sides);
        r.adjust(1, 1, -1, -1);
    }
}

/// Shrinks `r` by one pixel on each side in `sides`.
QRect shrunk(QRect r, TSides sides)
{
    r.adjust(hasSide(sides, TSide::sdLeft) ? 1 : 0, hasSide(sides, TSide::sdTop) ? 1 : 0,
             hasSide(sides, TSide::sdRight) ? -1 : 0, hasSide(sides, TSide::sdBottom) ? -1 : 0);
    return r;
}

} // namespace

TMPanel::TMPanel(QWidget* owner)
    : QWidget(owner)
{
    m_color = SystemColors::btnFace(*this);
    m_bevelSides = AllSides;
    m_borderColor = SystemColors::btnFace(*this);
    m_verticalAlignment = TVerticalAlignment::vaCenter;
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMPanel::setBevelSides(TSides sides)
{
    if (assignChanged(m_bevelSides, sides))
        update();
}

void TMPanel::setBorderColor(const QColor& color)
{
    if (assignChanged(m_borderColor, color))
        update();
}

void TMPanel::setBorderSides(TSides sides)
{
    if (!assignChanged(m_borderSides, sides))
        return;
    // Children that fill the panel keep off the black lines.
    setContentsMargins(hasSide(sides, TSide::sdLeft) ? 1 : 0, hasSide(sides, TSide::sdTop) ? 1 : 0,
                       hasSide(sides, TSide::sdRight) ? 1 : 0, hasSide(sides, TSide::sdBottom) ? 1 : 0);
    update();
}

void TMPanel::setVerticalAlignment(TVerticalAlignment alignment)
{
    if (assignChanged(m_verticalAlignment, alignment))
        update();
}

void TMPanel::setBevelInner(TPanelBevel bevel)
{
    if (assignChanged(m_bevelInner, bevel))
        update();
}

void TMPanel::setBevelOuter(TPanelBevel bevel)
{
    if (assignChanged(m_bevelOuter, bevel))
        update();
}

void TMPanel::setBevelWidth(int width)
{
    if (assignChanged(m_bevelWidth, width))
        update();
}

void TMPanel::setBorderWidth(int width)
{
    if (assignChanged(m_borderWidth, width))
        update();
}

void TMPanel::setAlignment(Qt::Alignment alignment)
{
    if (assignChanged(m_alignment, alignment))
        update();
}

void TMPanel::setCaption(const QString& caption)
{
    if (assignChanged(m_caption, caption))
        update();
}

void TMPanel::setColor(const QColor& color)
{
    if (assignChanged(m_color, color))
        update();
}

QRect TMPanel::ClientRect() const
{
    return shrunk(rect(), m_borderSides);
}

void TMPanel::paintEvent(QPaintEvent* /*event*/)
{
    guard([&] {
        QPainter p(this);
        const QColor highlight = SystemColors::btnHighlight(*this);
        const QColor shadow = SystemColors::btnShadow(*this);
        const auto bevelFirst = [&](TPanelBevel b) {
            return b == TPanelBevel::bvRaised ? highlight : shadow;
        };
        const auto bevelSecond = [&](TPanelBevel b) {
            return b == TPanelBevel::bvRaised ? shadow : highlight;
        };

        // The window's own background comes first, as under any windowed control;
        // it shows where a band skips a side.
        p.fillRect(rect(), m_color);
        QRect e = rect();
        drawSides(p, e, Qt::black, Qt::black, m_borderSides);
        e = shrunk(e, m_borderSides);
        if (m_bevelOuter != TPanelBevel::bvNone)
            drawBand(p, e, m_bevelWidth, bevelFirst(m_bevelOuter), bevelSecond(m_bevelOuter), m_bevelSides);
        if (m_borderWidth > 0)
            drawBand(p, e, m_borderWidth, m_borderColor, m_borderColor, m_bevelSides);
        if (m_bevelInner != TPanelBevel::bvNone)
            drawBand(p, e, m_bevelWidth, bevelFirst(m_bevelInner), bevelSecond(m_bevelInner), m_bevelSides);
        if (e.width() > 0 && e.height() > 0)
            p.fillRect(e, m_color);

        if (m_caption.isEmpty())
            return;
        const unsigned flags =
            TextDrawing::horizontalFlag(m_alignment) | TextDrawing::ExpandTabs | TextDrawing::WordBreak;
        const int h =
            TextDrawing::drawText(nullptr, font(), m_caption, e, flags | TextDrawing::CalcRect).height();
        // A caption taller than the area inside the bevels is cut at its edges.
        p.setClipRect(e);
        switch (m_verticalAlignment) {
        case TVerticalAlignment::vaCenter: {
            const int top = (e.top() + e.bottom() + 1 - h) / 2;
            e = QRect(e.left(), top, e.width(), h);
            break;
        }
        case TVerticalAlignment::vaBottom:
            e.setTop(e.bottom() + 1 - h - 1);
            break;
        case TVerticalAlignment::vaTop:
            break;
        }
        p.setPen(palette().color(QPalette::WindowText));
        TextDrawing::drawText(&p, font(), m_caption, e, flags);
    });
}
