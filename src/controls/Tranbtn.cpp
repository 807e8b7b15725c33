// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tranbtn.h"

#include "SystemColors.h"
#include "TextDrawing.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int DefaultWidth = 125;
constexpr int DefaultHeight = 48;
constexpr int ShortenedLength = 6;
constexpr int MaxOrigin = 65535;
/// The focus mark runs this far inside the button's edges.
constexpr int FocusInset = 3;
/// Room between a key caption and the button's edges: inside the frame and the focus mark.
constexpr int KeyMargin = FocusInset + 2;
/// A key caption takes at most this share of the button's width.
constexpr int KeyWidthShare = 2;

constexpr QRgb rgbOnly(QRgb pixel)
{
    return pixel & 0x00FFFFFFu;
}

bool has32BitPixels(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

QRgb* row(QImage& image, int y)
{
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}

const QRgb* row(const QImage& image, int y)
{
    return reinterpret_cast<const QRgb*>(image.constScanLine(y));
}

// The block transfers below act on whole 32-bit pixels, as the raster operations
// of a memory context do; `src` and `dst` have the same size.
void rasterNot(QImage& dst, const QImage& src)
{
    for (int y = 0; y < dst.height(); ++y) {
        const QRgb* s = row(src, y);
        QRgb* d = row(dst, y);
        for (int x = 0; x < dst.width(); ++x)
            d[x] = ~s[x];
    }
}

void rasterAnd(QImage& dst, const QImage& src)
{
    for (int y = 0; y < dst.height(); ++y) {
        const QRgb* s = row(src, y);
        QRgb* d = row(dst, y);
        for (int x = 0; x < dst.width(); ++x)
            d[x] &= s[x];
    }
}

void rasterOr(QImage& dst, const QImage& src)
{
    for (int y = 0; y < dst.height(); ++y) {
        const QRgb* s = row(src, y);
        QRgb* d = row(dst, y);
        for (int x = 0; x < dst.width(); ++x)
            d[x] |= s[x];
    }
}

} // namespace

TMTranBtn::TMTranBtn(QWidget* owner)
    : QWidget(owner)
{
    resize(DefaultWidth, DefaultHeight);
    // No opaque flag and no background fill: the parent paints beneath the button.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
    // Mouse moves are reported without a pressed button too.
    setMouseTracking(true);
    m_pressed = false;
    setFont(Fonts::arialPoints(9));
    m_border = BStyle::BsNormal;
    // Focus by the keyboard and by a click; the mark shows only once the keyboard moved it.
    setFocusPolicy(Qt::StrongFocus);
}

TMTranBtn::~TMTranBtn() = default;

void TMTranBtn::setBitMap(const QImage& image)
{
    m_bitmap = image;
    update();
}

void TMTranBtn::setTransparentColor(const QColor& color)
{
    m_transparentColor = color;
    update();
}

void TMTranBtn::setBorder(BStyle border)
{
    if (border == m_border)
        return;
    m_border = border;
    update();
}

void TMTranBtn::setCaption(const QString& caption)
{
    m_caption = caption;
}

QColor TMTranBtn::fontColor() const
{
    return palette().color(QPalette::WindowText);
}

void TMTranBtn::setFontColor(const QColor& color)
{
    if (color == fontColor())
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal); // repaints
}

QColor TMTranBtn::transparentColorOfImage() const
{
    if (m_transparentColor.isValid() || m_bitmap.isNull())
        return m_transparentColor;
    if (m_bitmap.depth() == 1) // a monochrome image is drawn in black on white
        return QColor(Qt::white);
    return QColor::fromRgb(m_bitmap.pixel(0, m_bitmap.height() - 1));
}

bool TMTranBtn::imageHit(const QPoint& pos) const
{
    if (!m_imageRect.contains(pos) || m_bitmap.isNull())
        return false;
    const QPoint at = pos - m_imageRect.topLeft();
    if (!m_bitmap.valid(at))
        return false;
    return rgbOnly(m_bitmap.pixel(at)) != rgbOnly(transparentColorOfImage().rgb());
}

void TMTranBtn::DrawTransparentBitmap(QImage& dest, QImage& image, int X, int Y, QColor transparent)
{
    checkRange(X, 0, MaxOrigin);
    checkRange(Y, 0, MaxOrigin);
    if (dest.isNull() || image.isNull())
        return;

    const QImage::Format destFormat = dest.format();
    if (!has32BitPixels(destFormat))
        dest.convertTo(QImage::Format_ARGB32_Premultiplied);
    const QImage::Format format = dest.format();
    const int w = image.width();
    const int h = image.height();

    // The image's pixels in the destination's format. Being a private copy, the
    // caller's image is never written, so it needs no saving and restoring.
    QImage source = image.convertToFormat(format);
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = rgbOnly(transparent.rgb());

    // mask: all bits set where the image has the transparent colour, clear elsewhere.
    QImage mask(w, h, format);
    for (int y = 0; y < h; ++y) {
        const QRgb* s = row(plain, y);
        QRgb* m = row(mask, y);
        for (int x = 0; x < w; ++x)
            m[x] = rgbOnly(s[x]) == key ? 0xFFFFFFFFu : 0u;
    }
    QImage inverseMask(w, h, format);
    rasterNot(inverseMask, mask);

    QImage work = dest.copy(X, Y, w, h); // outside the destination: zero, never written back
    rasterAnd(work, mask);               // clear where the image is opaque
    rasterAnd(source, inverseMask);      // blacken the image's transparent pixels
    rasterOr(work, source);

    const QRect target = QRect(X, Y, w, h).intersected(dest.rect());
    for (int y = target.top(); y <= target.bottom(); ++y) {
        const QRgb* s = row(std::as_const(work), y - Y);
        QRgb* d = row(dest, y);
        std::copy(s + (target.left() - X), s + (target.right() + 1 - X), d + target.left());
    }

    if (destFormat != format)
        dest.convertTo(destFormat);
}

TMTranBtn::CaptionLayout TMTranBtn::layoutCaption(const QString& caption, const QFont& font, QSize size)
{
    const int h = QFontMetrics(font).height();
    const int a = TextDrawing::averageCharWidth(font);
    CaptionLayout out;
    out.rect = QRect(QPoint(0, 0), size);
    const qsizetype n = size.width() / a;
    const qsizetype length = caption.size();

    out.flags = TextDrawing::Center;
    if (length < n) {
        out.text = caption;
        out.flags |= TextDrawing::SingleLine | TextDrawing::VCenter;
    } else if (!caption.contains(QLatin1Char(' '))) {
        out.shortened = true;
        out.text = caption.left(ShortenedLength) + QLatin1String("...");
        out.flags |= TextDrawing::SingleLine | TextDrawing::VCenter;
    } else {
        out.flags |= TextDrawing::WordBreak;
        QString rest = caption;
        // Lines of at most n characters, broken after the last space that fits. A
        // word longer than a line is cut after n characters (at least one), so every
        // pass takes something off the rest.
        const qsizetype line = std::max<qsizetype>(n, 1);
        while (!rest.isEmpty()) {
            if (rest.size() <= line) {
                out.text += rest;
                break;
            }
            qsizetype i = n;
            while (i >= 1 && rest.at(i - 1) != QLatin1Char(' '))
                --i;
            if (i < 1)
                i = line;
            ++out.lines;
            out.text += rest.left(i) + QLatin1Char('\n') + QLatin1Char('\r');
            rest.remove(0, i);
        }
        out.rect.setTop(size.height() / 2 - (h * out.lines) / 2); // the block of lines centred vertically
    }
    // The caption is a song title, not a label with a mnemonic: "Rock & Roll" shows its "&".
    out.shown = TextDrawing::layoutText(font, out.text, out.rect, out.flags | TextDrawing::NoPrefix);
    return out;
}

void TMTranBtn::drawCaption(QPainter& painter)
{
    const CaptionLayout layout = layoutCaption(m_caption, font(), size());
    if (layout.shortened) {
        setToolTip(m_caption);
        m_showHint = true;
    }
    painter.setPen(fontColor());
    painter.setBrush(Qt::NoBrush);
    TextDrawing::drawLayout(painter, font(), layout.shown, layout.rect);
}

QFont TMTranBtn::keyFont(const QFont& font)
{
    QFont small = font;
    const int size = font.pixelSize() > 0 ? font.pixelSize() : QFontMetrics(font).height();
    small.setPixelSize(std::max(8, size * 3 / 4));
    small.setBold(false);
    small.setItalic(false);
    return small;
}

TMTranBtn::KeyLayout TMTranBtn::layoutKey(const QString& key, const QFont& font, QSize size)
{
    KeyLayout out;
    if (key.isEmpty())
        return out;
    const QFontMetrics fm(keyFont(font));
    const int room = std::max(1, size.width() / KeyWidthShare - KeyMargin);
    out.text = key;
    if (fm.horizontalAdvance(out.text) > room) {
        // "Ctrl+Alt+Page Down" first becomes "C+A+Page Down", then is cut.
        static const char* const modifiers[] = {"Ctrl+", "Alt+", "Meta+", "Shift+", "Num+"};
        for (const char* m : modifiers) {
            const QString name = QLatin1String(m);
            out.text.replace(name, name.left(1) + QLatin1Char('+'));
        }
    }
    if (fm.horizontalAdvance(out.text) > room) {
        const QString dots = QStringLiteral("...");
        QString cut = out.text;
        while (cut.size() > 1 && fm.horizontalAdvance(cut + dots) > room)
            cut.chop(1);
        out.text = cut + dots;
    }
    const int w = fm.horizontalAdvance(out.text);
    out.rect = QRect(size.width() - KeyMargin - w, KeyMargin - 1, w, fm.height());
    return out;
}

bool TMTranBtn::focusMarkShown() const
{
    return hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void TMTranBtn::setKeyHint(const QString& key)
{
    if (key == m_keyHint)
        return;
    m_keyHint = key;
    if (m_showKey)
        update();
}

void TMTranBtn::setShowKey(bool show)
{
    if (show == m_showKey)
        return;
    m_showKey = show;
    if (!m_keyHint.isEmpty())
        update();
}

void TMTranBtn::drawKey(QPainter& painter) const
{
    const QFont small = keyFont(font());
    const KeyLayout layout = layoutKey(m_keyHint, font(), size());
    painter.setFont(small);
    painter.setPen(SystemColors::btnShadow(*this));
    painter.drawText(layout.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, layout.text);
}

void TMTranBtn::drawFocusMark(QPainter& painter) const
{
    // Dotted, in the button's text colour, inside the frame of either style.
    QPen pen(SystemColors::btnText(*this));
    pen.setStyle(Qt::DotLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(FocusInset, FocusInset, -FocusInset - 1, -FocusInset - 1));
}

void TMTranBtn::drawFrame(QPainter& painter, bool raised) const
{
    const QColor highlight = SystemColors::btnHighlight(*this);
    const QColor shadow = SystemColors::btnShadow(*this);
    const QColor first = raised ? highlight : shadow;
    const QColor second = raised ? shadow : highlight;
    const int w = width();
    const int h = height();
    painter.fillRect(QRect(0, 0, 1, h - 1), first);  // left, without its bottom pixel
    painter.fillRect(QRect(0, 0, w - 1, 1), first);  // top, without its rightmost pixel
    painter.fillRect(QRect(w - 1, 0, 1, h), second); // right
    painter.fillRect(QRect(0, h - 1, w, 1), second); // bottom
}

void TMTranBtn::paintEvent(QPaintEvent* /*event*/)
{
    guard([&] {
        QPainter painter(this);
        const QFontMetrics fm(font());
        if (!m_bitmap.isNull()) {
            const int iw = m_bitmap.width();
            const int ih = m_bitmap.height();
            // An image too large to be centred starts at the button's edge.
            const int x = std::max(0, (width() - iw) / 2);
            const int y =
                std::max(0, m_caption.isEmpty() ? (height() - ih) / 2 : (height() - ih - fm.height()) / 2);
            m_imageRect = QRect(x, y, iw, ih);
            QImage layer(size(), QImage::Format_ARGB32_Premultiplied);
            layer.fill(Qt::transparent);
            QImage scratch = m_bitmap.copy();
            const int shift = m_pressed ? 1 : 0;
            DrawTransparentBitmap(layer, scratch, x + shift, y + shift, transparentColorOfImage());
            painter.drawImage(0, 0, layer);
        }
        if (!m_caption.isEmpty())
            drawCaption(painter);
        if (m_showKey && !m_keyHint.isEmpty())
            drawKey(painter);
        if (focusMarkShown())
            drawFocusMark(painter);

        bool frame = false;
        bool raised = true;
        switch (m_border) {
        case BStyle::BsNormal:
            frame = true;
            raised = !m_pressed;
            break;
        case BStyle::BsIe:
            frame = m_pressed || m_mouseOver;
            raised = !m_pressed;
            break;
        case BStyle::BSnone:
            break;
        }
        if (frame)
            drawFrame(painter, raised);
    });
}

void TMTranBtn::enterEvent(QEnterEvent* /*event*/)
{
    guard([&] {
        m_mouseOver = true;
        if (m_border == BStyle::BsIe)
            repaint(); // at once: the hover frame must not wait for the event loop
    });
}

void TMTranBtn::leaveEvent(QEvent* /*event*/)
{
    guard([&] {
        m_mouseOver = false;
        if (m_border == BStyle::BsIe)
            update();
    });
}

void TMTranBtn::focusInEvent(QFocusEvent* /*event*/)
{
    // Without the keyboard's cues the focus changes nothing on the board: no repaint either.
    if (focusMarkShown())
        update();
}

void TMTranBtn::focusOutEvent(QFocusEvent* /*event*/)
{
    if (window()->testAttribute(Qt::WA_KeyboardFocusChange))
        update();
}

void TMTranBtn::mouseMoveEvent(QMouseEvent* event)
{
    guard([&] {
        const QPoint pos = event->position().toPoint();
        m_mouseOver = m_border != BStyle::BSnone || imageHit(pos);
        Q_EMIT OnMouseMove(this, event->modifiers(), pos.x(), pos.y());
    });
}

void TMTranBtn::mousePressEvent(QMouseEvent* event)
{
    guard([&] {
        const QPoint pos = event->position().toPoint();
        if (event->button() == Qt::LeftButton)
            m_leftDown = true;
        m_pressed = m_border != BStyle::BSnone || m_mouseOver;
        if (m_pressed)
            update();
        Q_EMIT OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
    });
}

void TMTranBtn::mouseReleaseEvent(QMouseEvent* event)
{
    guard([&] {
        const QPoint pos = event->position().toPoint();
        Q_EMIT OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
        if (m_border != BStyle::BSnone || m_mouseOver)
            m_pressed = false;
        if (!m_pressed)
            update();
        if (event->button() == Qt::LeftButton) {
            const bool click = m_leftDown && rect().contains(pos);
            m_leftDown = false;
            if (click)
                Q_EMIT OnClick(this);
        }
    });
}

QString TMTranBtn::hintText() const
{
    QString text = m_showHint ? toolTip() : QString();
    if (!m_keyHint.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("Key: ") + m_keyHint;
    return text;
}

bool TMTranBtn::event(QEvent* event)
{
    // The hint is only shown once ShowHint has been switched on; a key shows always.
    if (event->type() == QEvent::ToolTip) {
        const QString text = hintText();
        if (text.isEmpty()) {
            event->ignore();
            return true;
        }
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
