// SPDX-License-Identifier: GPL-3.0-or-later
#include "BevelPanel.h"

#include "platform/Guard.h"

#include <QPainter>

#include <algorithm>

namespace {
const QColor Highlight(255, 255, 255);
const QColor Shadow(128, 128, 128);
} // namespace

BevelPanel::BevelPanel(const QColor& color, Bevel bevel, int bevelWidth, QWidget* parent)
    : QWidget(parent)
    , m_color(color)
    , m_bevel(bevel)
    , m_bevelWidth(bevelWidth)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BevelPanel::paintEvent(QPaintEvent*)
{
    guard([&] {
        QPainter p(this);
        p.fillRect(rect(), m_color);
        if (m_bevel == Bevel::None)
            return;
        const QColor topLeft = m_bevel == Bevel::Raised ? Highlight : Shadow;
        const QColor bottomRight = m_bevel == Bevel::Raised ? Shadow : Highlight;
        const int w = width();
        const int h = height();
        for (int i = 0; i < m_bevelWidth && 2 * i < std::min(w, h); ++i) {
            // Each ring: top and left edges in one colour, bottom and right in the other.
            p.fillRect(i, i, w - 2 * i, 1, topLeft);
            p.fillRect(i, i, 1, h - 2 * i, topLeft);
            p.fillRect(i, h - 1 - i, w - 2 * i, 1, bottomRight);
            p.fillRect(w - 1 - i, i, 1, h - 2 * i, bottomRight);
        }
    });
}
