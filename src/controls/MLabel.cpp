// SPDX-License-Identifier: GPL-3.0-or-later
#include "MLabel.h"

#include "Setters.h"

#include "SystemColors.h"
#include "TextDrawing.h"
#include "platform/Guard.h"

#include <QEvent>
#include <QPainter>
#include <QPalette>

namespace {

constexpr int UnboundedWidth = 1 << 20;

} // namespace

TMLabel::TMLabel(QWidget* owner)
    : QWidget(owner)
{
    m_textStyle = TTextStyle::tsRecessed;
    m_shadowDepth = 2;
    m_shadowColor = SystemColors::btnShadow(*this);
    adjustBounds();
}

void TMLabel::setAlignment(Qt::Alignment alignment)
{
    if (assignChanged(m_alignment, alignment))
        update();
}

void TMLabel::setAutoSize(bool autoSize)
{
    if (!assignChanged(m_autoSize, autoSize))
        return;
    adjustBounds();
}

void TMLabel::setCaption(const QString& caption)
{
    if (!assignChanged(m_caption, caption))
        return;
    adjustBounds();
    update();
}

QColor TMLabel::Color() const
{
    return m_color.isValid() ? m_color : palette().color(QPalette::Window);
}

void TMLabel::setColor(const QColor& color)
{
    if (assignChanged(m_color, color))
        update();
}

QColor TMLabel::fontColor() const
{
    return palette().color(QPalette::Active, QPalette::WindowText);
}

void TMLabel::setFontColor(const QColor& color)
{
    if (color == fontColor())
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::Active, QPalette::WindowText, color);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, color);
    setPalette(pal); // repaints
}

void TMLabel::setShowAccelChar(bool show)
{
    if (!assignChanged(m_showAccelChar, show))
        return;
    adjustBounds();
    update();
}

void TMLabel::setTransparent(bool transparent)
{
    if (assignChanged(m_transparent, transparent))
        update();
}

void TMLabel::setWordWrap(bool wrap)
{
    if (!assignChanged(m_wordWrap, wrap))
        return;
    adjustBounds();
    update();
}

void TMLabel::setTextStyle(TTextStyle style)
{
    if (assignChanged(m_textStyle, style))
        update();
}

void TMLabel::setShadowColor(const QColor& color)
{
    if (assignChanged(m_shadowColor, color))
        update();
}

void TMLabel::setShadowDepth(int depth)
{
    if (assignChanged(m_shadowDepth, depth))
        update();
}

unsigned TMLabel::textFlags() const
{
    unsigned flags = TextDrawing::horizontalFlag(m_alignment) | TextDrawing::ExpandTabs;
    if (m_wordWrap)
        flags |= TextDrawing::WordBreak;
    if (!m_showAccelChar)
        flags |= TextDrawing::NoPrefix;
    return flags;
}

QSize TMLabel::measuredSize() const
{
    // An empty caption still measures as one blank, so an emptied label keeps a line's height.
    const QString text = m_caption.isEmpty() ? QStringLiteral(" ") : m_caption;
    const int width = m_wordWrap ? this->width() : UnboundedWidth;
    const QRect used = TextDrawing::drawText(nullptr, font(), text, QRect(0, 0, width, UnboundedWidth),
                                             textFlags() | TextDrawing::CalcRect);
    return QSize(m_wordWrap ? this->width() : used.width(), used.height());
}

QSize TMLabel::sizeHint() const
{
    return measuredSize();
}

void TMLabel::adjustBounds()
{
    if (!m_autoSize)
        return;
    const QSize fitted = measuredSize();
    if (fitted == size())
        return;
    // A right-aligned single line keeps its right edge; everything else its left edge.
    if ((m_alignment & Qt::AlignRight) && !m_wordWrap)
        setGeometry(x() + width() - fitted.width(), y(), fitted.width(), fitted.height());
    else
        resize(fitted);
}

void TMLabel::changeEvent(QEvent* event)
{
    guard([&] {
        if (event->type() == QEvent::FontChange)
            adjustBounds();
    });
    QWidget::changeEvent(event);
}

void TMLabel::paintEvent(QPaintEvent* /*event*/)
{
    guard([&] {
        QPainter p(this);
        const QRect c = rect();
        if (!m_transparent)
            p.fillRect(c, Color());
        p.setBrush(Qt::NoBrush);
        const unsigned flags = textFlags();
        const auto copy = [&](const QColor& color, int dx, int dy) {
            p.setPen(color);
            TextDrawing::drawText(&p, font(), m_caption, c.translated(dx, dy), flags);
        };
        // The effect copies keep their colours when the label is disabled.
        const QColor highlight = SystemColors::btnHighlight(*this);
        const QColor shadow = SystemColors::btnShadow(*this);
        switch (m_textStyle) {
        case TTextStyle::tsRaised:
            copy(shadow, 1, 1);
            copy(highlight, -1, -1);
            break;
        case TTextStyle::tsRecessed:
            copy(highlight, 1, 1);
            copy(shadow, -1, -1);
            break;
        case TTextStyle::tsShadow:
            copy(m_shadowColor, m_shadowDepth, m_shadowDepth);
            break;
        case TTextStyle::tsNone:
            break;
        }
        copy(isEnabled() ? fontColor() : SystemColors::grayText(*this), 0, 0);
    });
}
