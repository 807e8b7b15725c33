// SPDX-License-Identifier: GPL-3.0-or-later
#include "MTrkBar.h"

#include "Setters.h"

#include "SystemColors.h"
#include "platform/Guard.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int DefaultWidth = 200;
constexpr int DefaultHeight = 50;
constexpr quint16 MinTrackWidth = 6;
constexpr QRgb Silver = qRgb(192, 192, 192);
constexpr QRgb DarkGrey = qRgb(128, 128, 128);
constexpr int TickStart = 4;
constexpr int TickEnd = 10;

int saturate(qint64 value)
{
    return static_cast<int>(
        std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

/// An axis-parallel line from `a` towards `b`: the start pixel drawn, the end pixel not.
void penLine(QPainter& canvas, const QColor& color, QPoint a, QPoint b)
{
    if (a.x() == b.x() && a.y() != b.y()) {
        const int top = a.y() < b.y() ? a.y() : b.y() + 1;
        canvas.fillRect(QRect(a.x(), top, 1, std::abs(b.y() - a.y())), color);
    } else if (a.y() == b.y() && a.x() != b.x()) {
        const int left = a.x() < b.x() ? a.x() : b.x() + 1;
        canvas.fillRect(QRect(left, a.y(), std::abs(b.x() - a.x()), 1), color);
    }
}

void penPath(QPainter& canvas, const QColor& color, std::initializer_list<QPoint> points)
{
    const QPoint* previous = nullptr;
    for (const QPoint& p : points) {
        if (previous != nullptr)
            penLine(canvas, color, *previous, p);
        previous = &p;
    }
}

QImage loadPicture(const QString& name)
{
    const QImage picture(QStringLiteral(":/controls/") + name + QStringLiteral(".xpm"));
    return picture.convertToFormat(QImage::Format_RGB32);
}

/// Paints `pattern` (tiled from the image's origin) over the 4-connected area of
/// `colour` that holds `seed`.
void floodFill(QImage& image, QPoint seed, QRgb colour, const QImage& pattern)
{
    if (!image.valid(seed) || (image.pixel(seed) & 0xFFFFFFu) != (colour & 0xFFFFFFu) || pattern.isNull())
        return;
    const int w = image.width();
    std::vector<bool> seen(static_cast<size_t>(w) * static_cast<size_t>(image.height()), false);
    std::vector<QPoint> todo{seed};
    seen[static_cast<size_t>(seed.y() * w + seed.x())] = true;
    while (!todo.empty()) {
        const QPoint p = todo.back();
        todo.pop_back();
        image.setPixel(p, pattern.pixel(p.x() % pattern.width(), p.y() % pattern.height()));
        for (const QPoint next : {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)}) {
            if (!image.valid(next))
                continue;
            const size_t index = static_cast<size_t>(next.y() * w + next.x());
            if (seen[index] || (image.pixel(next) & 0xFFFFFFu) != (colour & 0xFFFFFFu))
                continue;
            seen[index] = true;
            todo.push_back(next);
        }
    }
}

} // namespace

TMTrackBar::TMTrackBar(QWidget* owner)
    : QWidget(owner)
{
    resize(DefaultWidth, DefaultHeight);
    m_trackWidth = 8;
    m_orientation = TTrackOrientation::toHorizontal;
    m_trackColor = QColor(255, 255, 255);
    m_min = 0;
    m_max = 10;
    m_position = 0;
    m_margin = 4;
    m_pageSize = 1;
    setFocusPolicy(Qt::StrongFocus);
    m_showTicks = true;
    m_dragging = false;
    m_thumbStyle = TThumbStyle::tsPointer;
    m_thumbSize = TThumbSize::tsMedium;
    m_disabledPattern = QImage(8, 8, QImage::Format_RGB32);
    fillDisabledPattern();
    loadThumbPictures();
    setMouseTracking(true); // the pointer shape follows the thumb without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TMTrackBar::~TMTrackBar() = default;

QSize TMTrackBar::sizeHint() const
{
    return horizontal() ? QSize(DefaultWidth, DefaultHeight) : QSize(DefaultHeight, DefaultWidth);
}

void TMTrackBar::setMax(int value)
{
    if (!assignChanged(m_max, value))
        return;
    if (m_max < m_position)
        setPosition(m_max);
    invalidate();
}

void TMTrackBar::setMin(int value)
{
    if (!assignChanged(m_min, value))
        return;
    if (m_position < m_min)
        setPosition(m_min);
    invalidate();
}

void TMTrackBar::setOrientation(TTrackOrientation orientation)
{
    if (!assignChanged(m_orientation, orientation))
        return;
    loadThumbPictures();
    invalidate();
}

void TMTrackBar::setThumbSize(TThumbSize size)
{
    if (!assignChanged(m_thumbSize, size))
        return;
    loadThumbPictures();
    invalidate();
}

void TMTrackBar::setThumbStyle(TThumbStyle style)
{
    if (!assignChanged(m_thumbStyle, style))
        return;
    loadThumbPictures();
    invalidate();
}

void TMTrackBar::setTickStyle(TTickStyle style)
{
    if (!assignChanged(m_tickStyle, style))
        return;
    invalidate();
}

void TMTrackBar::setShowTicks(bool show)
{
    if (!assignChanged(m_showTicks, show))
        return;
    invalidate();
}

void TMTrackBar::setTrackColor(const QColor& color)
{
    if (!assignChanged(m_trackColor, color))
        return;
    fillDisabledPattern();
    invalidate();
}

void TMTrackBar::setTrackWidth(quint16 width)
{
    if (width == m_trackWidth)
        return;
    m_trackWidth = std::max(width, MinTrackWidth);
    invalidate();
}

QColor TMTrackBar::Color() const
{
    return m_color.isValid() ? m_color : palette().color(QPalette::Window);
}

void TMTrackBar::setColor(const QColor& color)
{
    if (!assignChanged(m_color, color))
        return;
    invalidate();
}

void TMTrackBar::setPosition(int value)
{
    // The test comes before the clamp: a request beyond a bound while the value
    // stands at that bound still redraws the thumb and reports a change.
    if (value == m_position)
        return;
    m_position = value < m_min ? m_min : value > m_max ? m_max : value;
    if (!m_stale && m_surface.size() == size() && !m_underThumb.isNull()) {
        const QRect old = m_thumbRect;
        QPainter canvas(&m_surface);
        canvas.drawImage(old.topLeft(), m_underThumb);
        DrawThumb(canvas);
        canvas.end();
        update(old | m_thumbRect);
    } else {
        // Draw the whole control now rather than at the next paint, so that ThumbRect
        // and UnderThumb are the new thumb's at once: a press that comes before the
        // paint is tested against where the thumb now is.
        renderAll();
        update();
    }
    Change();
}

int TMTrackBar::span() const
{
    return (horizontal() ? width() : height()) - m_thumbLength - 2 * m_margin;
}

double TMTrackBar::step() const
{
    const qint64 range = qint64(m_max) - m_min;
    return range == 0 ? 0.0 : double(span()) / double(range);
}

void TMTrackBar::loadThumbPictures()
{
    static const char* const sizes[] = {"Sm", "Med", "Lg"};
    const QString base = QLatin1String(sizes[static_cast<int>(m_thumbSize)]) +
                         (horizontal() ? QLatin1String("Horz") : QLatin1String("Vert"));
    if (m_thumbStyle == TThumbStyle::tsPointer) {
        m_thumbImage = loadPicture(base + QLatin1String("Thumb"));
        m_thumbMask = loadPicture(base + QLatin1String("ThumbMask"));
    } else {
        m_thumbImage = loadPicture(base + QLatin1String("Box"));
    }
    m_thumbLength = horizontal() ? m_thumbImage.width() : m_thumbImage.height();
    m_thumbBreadth = horizontal() ? m_thumbImage.height() : m_thumbImage.width();
    m_halfThumb = m_thumbLength / 2;
}

void TMTrackBar::fillDisabledPattern()
{
    const QRgb dots = (m_trackColor.rgb() & 0xFFFFFFu) == (Silver & 0xFFFFFFu) ? DarkGrey : Silver;
    m_disabledPattern.fill(m_trackColor);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x + y) % 2 == 1)
                m_disabledPattern.setPixel(x, y, dots);
}

void TMTrackBar::invalidate()
{
    m_stale = true;
    update();
}

void TMTrackBar::drawFocusFrame()
{
    // Dotted and inverting, like the window system's focus frame.
    const int w = m_surface.width();
    const int h = m_surface.height();
    const auto invert = [&](int x, int y) {
        if ((x + y) % 2 == 0)
            m_surface.setPixel(x, y, (~m_surface.pixel(x, y) & 0xFFFFFFu) | 0xFF000000u);
    };
    for (int x = 0; x < w; ++x) {
        invert(x, 0);
        if (h > 1)
            invert(x, h - 1);
    }
    for (int y = 1; y < h - 1; ++y) {
        invert(0, y);
        if (w > 1)
            invert(w - 1, y);
    }
}

void TMTrackBar::renderAll()
{
    if (m_surface.size() != size())
        m_surface = QImage(size(), QImage::Format_RGB32);
    m_stale = false;
    if (m_surface.isNull())
        return;
    m_surface.fill(Color());
    if (hasFocus())
        drawFocusFrame();
    QPainter canvas(&m_surface);
    DrawTrack(canvas);
    if (m_showTicks)
        DrawTicks(canvas);
    DrawThumb(canvas);
}

void TMTrackBar::DrawTrack(QPainter& canvas)
{
    const int tw = m_trackWidth;
    if (horizontal()) {
        const int top = (height() - tw) / 2;
        m_trackRect = QRect(QPoint(m_margin + m_halfThumb, top),
                            QPoint(width() - m_margin - m_halfThumb - 1, top + tw - 1));
    } else {
        const int left = (width() - tw) / 2;
        m_trackRect = QRect(QPoint(left, m_margin + m_halfThumb),
                            QPoint(left + tw - 1, height() - m_margin - m_halfThumb - 1));
    }
    if (isEnabled())
        canvas.fillRect(m_trackRect, m_trackColor);
    else
        canvas.fillRect(m_trackRect, QBrush(m_disabledPattern));

    // Sunken edge; l, t, r, b as the old rectangles had them (right and bottom outside).
    const int l = m_trackRect.left();
    const int t = m_trackRect.top();
    const int r = l + m_trackRect.width();
    const int b = t + m_trackRect.height();
    penPath(canvas, SystemColors::btnShadow(*this), {{l, b - 1}, {l, t}, {r, t}});
    penPath(canvas, SystemColors::btnHighlight(*this), {{r - 1, t + 1}, {r - 1, b - 1}, {l, b - 1}});
    penPath(canvas, SystemColors::btnText(*this), {{l + 1, b - 2}, {l + 1, t + 1}, {r - 1, t + 1}});
    penPath(canvas, SystemColors::btnFace(*this), {{r - 2, t + 2}, {r - 2, b - 2}, {l + 1, b - 2}});
}

void TMTrackBar::DrawTicks(QPainter& canvas)
{
    const double unit = step();
    const bool box = m_thumbStyle == TThumbStyle::tsBox;
    for (qint64 i = m_min; i <= m_max; ++i) {
        const int p = static_cast<int>(std::trunc(unit * double(i - m_min))) + m_margin;
        const int c = p + m_halfThumb;
        if (m_tickStyle == TTickStyle::tkOwnerDraw) {
            DrawTick(canvas, horizontal() ? QPoint(c, 0) : QPoint(0, c), static_cast<int>(i));
        } else if (horizontal()) {
            penLine(canvas, Qt::black, {c, TickStart}, {c, TickEnd});
            if (box)
                penLine(canvas, Qt::black, {c, height() - TickEnd}, {c, height() - TickStart});
        } else {
            penLine(canvas, Qt::black, {TickStart, c}, {TickEnd, c});
            if (box)
                penLine(canvas, Qt::black, {width() - TickEnd, c}, {width() - TickStart, c});
        }
    }
}

void TMTrackBar::DrawThumb(QPainter& canvas)
{
    if (m_thumbImage.isNull())
        return;
    // A slider without a range keeps its thumb at the start.
    const qint64 range = qint64(m_max) - m_min;
    const int offset =
        range == 0 ? 0 : static_cast<int>(qint64(span()) * (qint64(m_position) - m_min) / range);
    if (horizontal()) {
        const int top = (height() - m_thumbBreadth) / 2;
        m_thumbRect = QRect(m_margin + offset, top, m_thumbLength, m_thumbBreadth);
    } else {
        const int bottom = height() - offset - m_margin;
        const int left = (width() - m_thumbBreadth) / 2;
        m_thumbRect = QRect(left, bottom - m_thumbLength, m_thumbBreadth, m_thumbLength);
    }

    m_underThumb = m_surface.copy(QRect(m_thumbRect.topLeft(), m_thumbImage.size()));
    QImage work;
    if (m_thumbStyle == TThumbStyle::tsPointer && m_thumbMask.size() == m_thumbImage.size()) {
        work = m_underThumb.copy();
        for (int y = 0; y < work.height(); ++y) {
            auto* w = reinterpret_cast<QRgb*>(work.scanLine(y));
            const auto* mask = reinterpret_cast<const QRgb*>(m_thumbMask.constScanLine(y));
            const auto* picture = reinterpret_cast<const QRgb*>(m_thumbImage.constScanLine(y));
            for (int x = 0; x < work.width(); ++x)
                w[x] = (w[x] & mask[x]) | picture[x];
        }
    } else {
        work = m_thumbImage.copy();
    }
    if (!isEnabled())
        floodFill(work, QPoint(work.width() - 3, work.height() - 3), Silver, m_disabledPattern);
    canvas.drawImage(m_thumbRect.topLeft(), work);
}

void TMTrackBar::Change()
{
    Q_EMIT OnChange(this);
}

void TMTrackBar::DrawTick(QPainter& canvas, const QPoint& location, int index)
{
    Q_EMIT OnDrawTick(this, &canvas, location, index);
}

void TMTrackBar::paintEvent(QPaintEvent* event)
{
    guard([&] {
        if (m_stale || m_surface.size() != size())
            renderAll();
        QPainter p(this);
        p.drawImage(event->rect(), m_surface, event->rect());
    });
}

void TMTrackBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    guard([&] {
        setOrientation(width() < height() ? TTrackOrientation::toVertical : TTrackOrientation::toHorizontal);
        invalidate();
    });
}

void TMTrackBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange)
        guard([&] { invalidate(); });
}

void TMTrackBar::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    guard([&] {
        m_stale = true;
        repaint();
    });
}

void TMTrackBar::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    guard([&] {
        m_stale = true;
        repaint();
    });
}

void TMTrackBar::keyPressEvent(QKeyEvent* event)
{
    guard([&] {
        switch (event->key()) {
        case Qt::Key_PageUp:
            setPosition(saturate(qint64(m_position) + m_pageSize));
            break;
        case Qt::Key_PageDown:
            setPosition(saturate(qint64(m_position) - m_pageSize));
            break;
        case Qt::Key_End:
            setPosition(horizontal() ? m_max : m_min);
            break;
        case Qt::Key_Home:
            setPosition(horizontal() ? m_min : m_max);
            break;
        case Qt::Key_Left:
        case Qt::Key_Down:
            if (m_position > m_min)
                setPosition(m_position - 1);
            break;
        case Qt::Key_Up:
        case Qt::Key_Right:
            if (m_position < m_max)
                setPosition(m_position + 1);
            break;
        default:
            event->ignore();
            return;
        }
        event->accept();
    });
}

void TMTrackBar::mousePressEvent(QMouseEvent* event)
{
    guard([&] {
        setFocus(Qt::MouseFocusReason);
        if (event->button() != Qt::LeftButton)
            return;
        const QPoint pos = event->position().toPoint();
        if (m_thumbRect.contains(pos)) {
            m_dragging = true;
            return;
        }
        // Without a range there are no pages to step through.
        if (!m_trackRect.contains(pos) || m_max == m_min)
            return;
        const qint64 up = qint64(m_position) + m_pageSize;
        const qint64 down = qint64(m_position) - m_pageSize;
        if (horizontal()) {
            const int thumbAt = int(std::trunc(step() * (double(m_position) - m_min))) + m_margin;
            setPosition(saturate(pos.x() < thumbAt ? down : up));
        } else {
            const int thumbAt = int(std::trunc(step() * (double(m_max) - m_position))) + m_margin;
            setPosition(saturate(pos.y() < thumbAt ? up : down));
        }
    });
}

void TMTrackBar::mouseMoveEvent(QMouseEvent* event)
{
    guard([&] {
        const QPoint pos = event->position().toPoint();
        if (m_thumbRect.contains(pos))
            setCursor(horizontal() ? Qt::SizeHorCursor : Qt::SizeVerCursor);
        else
            unsetCursor();
        if (!m_dragging)
            return;
        const double range = double(m_max) - double(m_min);
        const double along = horizontal() ? double(width() - m_halfThumb) : double(height() - m_halfThumb);
        if (along <= 0)
            return;
        const double fraction =
            horizontal() ? (pos.x() - m_halfThumb) / along : (height() - m_halfThumb - pos.y()) / along;
        // nearbyint rounds halves to the even neighbour.
        const double v = std::nearbyint(fraction * range + m_min);
        setPosition(static_cast<int>(std::max(double(m_min), std::min(v, double(m_max)))));
    });
}

void TMTrackBar::mouseReleaseEvent(QMouseEvent* event)
{
    guard([&] {
        if (event->button() == Qt::LeftButton)
            m_dragging = false;
    });
}
