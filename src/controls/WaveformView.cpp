// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveformView.h"

#include "platform/Guard.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {
constexpr int Inset = 4; ///< room at each end, so a mark at 0 or at the end can be grabbed
constexpr int GrabPixels = 5;
constexpr int CaptionHeight = 12;

struct MarkLook {
    const char* caption;
    QColor color;
};
const MarkLook Looks[WaveformView::MarkCount] = {{"Start", QColor(0x00, 0xA0, 0x00)},
                                                 {"Stop", QColor(0xC0, 0x00, 0x00)},
                                                 {"Fade", QColor(0xE0, 0x80, 0x00)},
                                                 {"Fade end", QColor(0x80, 0x40, 0x00)}};
} // namespace

WaveformView::WaveformView(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(200, 80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

void WaveformView::setPeaks(const QVector<float>& peaks, double seconds)
{
    m_peaks = peaks;
    m_seconds = std::max(0.0, seconds);
    m_message.clear();
    update();
}

void WaveformView::setMessage(const QString& text)
{
    m_message = text;
    update();
}

void WaveformView::setMark(Mark mark, std::optional<double> seconds)
{
    if (seconds)
        seconds = std::max(0.0, *seconds);
    m_marks[mark] = seconds;
    update();
}

double WaveformView::markPosition(Mark mark) const
{
    if (const auto& at = m_marks[mark])
        return *at;
    return mark == StartMark ? 0.0 : m_seconds;
}

void WaveformView::setPlayLine(std::optional<double> seconds)
{
    if (seconds == m_playLine)
        return;
    m_playLine = seconds;
    update();
}

int WaveformView::xOf(double seconds) const
{
    const int span = width() - 2 * Inset;
    if (m_seconds <= 0.0 || span <= 0)
        return Inset;
    const double at = std::clamp(seconds / m_seconds, 0.0, 1.0);
    return Inset + static_cast<int>(std::lround(at * span));
}

double WaveformView::secondsAt(int x) const
{
    const int span = width() - 2 * Inset;
    if (span <= 0)
        return 0.0;
    return std::clamp(static_cast<double>(x - Inset) / span, 0.0, 1.0) * m_seconds;
}

int WaveformView::markNear(int x) const
{
    if (!hasWaveform())
        return -1;
    // Of marks equally near, one that is set before one that is not; of those not set, the stop
    // (they all wait at the end); of those set, the one drawn last.
    constexpr Mark Order[MarkCount] = {FadeEndMark, StopMark, FadeStartMark, StartMark};
    int best = -1;
    std::tuple<int, bool, bool> bestKey{GrabPixels + 1, false, false};
    for (const Mark m : Order) {
        const std::tuple<int, bool, bool> key{std::abs(xOf(markPosition(m)) - x), !m_marks[m],
                                              !m_marks[m] && m != StopMark};
        if (key < bestKey) {
            best = m;
            bestKey = key;
        }
    }
    return best;
}

void WaveformView::paintEvent(QPaintEvent*)
{
    guard([this] {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        if (!hasWaveform()) {
            p.setPen(Qt::lightGray);
            p.drawText(rect(), Qt::AlignCenter,
                       m_message.isEmpty() ? QStringLiteral("No waveform") : m_message);
            return;
        }
        const int top = CaptionHeight + 2;
        const int bottom = height() - CaptionHeight - 2;
        const int mid = (top + bottom) / 2;
        const int half = std::max(1, (bottom - top) / 2);
        p.setPen(QColor(0x00, 0xC8, 0x00));
        const int left = Inset;
        const int right = width() - Inset;
        const auto count = m_peaks.size();
        for (int x = left; x < right && count > 0; ++x) {
            // The loudest peak of the stretch this pixel column covers.
            const auto from = static_cast<qsizetype>(static_cast<double>(x - left) / (right - left) * count);
            const auto to = std::max(
                from + 1, static_cast<qsizetype>(static_cast<double>(x + 1 - left) / (right - left) * count));
            float level = 0.0f;
            for (qsizetype i = from; i < std::min(to, count); ++i)
                level = std::max(level, m_peaks.at(i));
            const int h = std::max(0, static_cast<int>(std::lround(level * half)));
            p.drawLine(x, mid - h, x, mid + h);
        }
        // The fade, shaded from its start to its end.
        const int fadeFrom = xOf(markPosition(FadeStartMark));
        const int fadeTo = xOf(markPosition(FadeEndMark));
        if (m_marks[FadeStartMark] && fadeTo > fadeFrom)
            p.fillRect(QRect(fadeFrom, top, fadeTo - fadeFrom, bottom - top), QColor(0xE0, 0x80, 0x00, 60));
        QFont small = font();
        small.setPixelSize(10);
        p.setFont(small);
        for (int m = 0; m < MarkCount; ++m) {
            const int x = xOf(markPosition(static_cast<Mark>(m)));
            QColor color = Looks[m].color;
            if (!m_marks[m])
                color.setAlpha(90);
            p.setPen(QPen(color, m == m_dragging ? 3 : 2, m_marks[m] ? Qt::SolidLine : Qt::DashLine));
            p.drawLine(x, 2, x, height() - 3);
            if (!m_marks[m])
                continue; // a mark not set says nothing
            // The start and the stop are named above the waveform, the fade's marks below it.
            const bool above = m == StartMark || m == StopMark;
            const QString caption = QLatin1String(Looks[m].caption);
            const int w = p.fontMetrics().horizontalAdvance(caption);
            const int tx = std::clamp(x - w / 2, 1, std::max(1, width() - w - 1));
            QRect box(tx - 1, above ? 1 : height() - CaptionHeight - 1, w + 2, CaptionHeight - 1);
            p.fillRect(box, Qt::black);
            p.setPen(color);
            p.drawText(box, Qt::AlignCenter, caption);
        }
        if (m_playLine) {
            p.setPen(QPen(Qt::white, 1));
            const int x = xOf(*m_playLine);
            p.drawLine(x, top, x, height() - 2);
        }
    });
}

void WaveformView::mousePressEvent(QMouseEvent* event)
{
    guard([&] {
        if (event->button() != Qt::LeftButton || !hasWaveform())
            return;
        const int x = event->position().toPoint().x();
        m_dragging = markNear(x);
        if (m_dragging < 0)
            Q_EMIT clickedAt(secondsAt(x));
        update();
    });
}

void WaveformView::mouseMoveEvent(QMouseEvent* event)
{
    guard([&] {
        const int x = event->position().toPoint().x();
        if (m_dragging < 0) {
            setCursor(markNear(x) >= 0 ? Qt::SizeHorCursor : Qt::PointingHandCursor);
            return;
        }
        const double at = secondsAt(x);
        m_marks[m_dragging] = at;
        update();
        Q_EMIT markDragged(m_dragging, at);
    });
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event)
{
    guard([&] {
        if (event->button() == Qt::LeftButton && m_dragging >= 0) {
            m_dragging = -1;
            update();
        }
    });
}
