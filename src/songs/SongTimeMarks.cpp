// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongTimeMarks.h"

#include "controls/WaveformView.h"
#include "platform/Guard.h"
#include "songs/SongTimes.h"

#include <QLineEdit>

#include <cmath>

namespace {
enum Field { StartField = 0, StopField, FadeStartField, FadeDurationField };
} // namespace

SongTimeMarks::SongTimeMarks(WaveformView& view, const std::array<QLineEdit*, 4>& fields, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_fields(fields)
{
    for (int i = 0; i < 4; ++i)
        connectGuarded(m_fields[static_cast<std::size_t>(i)], &QLineEdit::textChanged, this,
                       [this, i] { fieldEdited(i); });
    connectGuarded(&m_view, &WaveformView::markDragged, this,
                   [this](int mark, double seconds) { markDragged(mark, seconds); });
    showFields();
}

QString SongTimeMarks::formatTime(double seconds)
{
    const auto whole = static_cast<long long>(std::llround(std::max(0.0, seconds)));
    return QStringLiteral("%1:%2")
        .arg(whole / 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

std::optional<double> SongTimeMarks::fieldTime(int field) const
{
    const std::optional<double> t = SongTimes::parseTime(m_fields[static_cast<std::size_t>(field)]->text());
    if (field == StartField)
        return t.value_or(0.0);
    if (!t || *t <= 0.0)
        return std::nullopt;
    return t;
}

void SongTimeMarks::showFields()
{
    m_view.setMark(WaveformView::StartMark, fieldTime(StartField));
    m_view.setMark(WaveformView::StopMark, fieldTime(StopField));
    const std::optional<double> fadeStart = fieldTime(FadeStartField);
    m_view.setMark(WaveformView::FadeStartMark, fadeStart);
    const std::optional<double> duration = fieldTime(FadeDurationField);
    m_view.setMark(WaveformView::FadeEndMark,
                   fadeStart ? std::optional<double>(*fadeStart + duration.value_or(0.0)) : std::nullopt);
}

void SongTimeMarks::fieldEdited(int)
{
    if (!m_writing)
        showFields();
}

void SongTimeMarks::markDragged(int mark, double seconds)
{
    m_writing = true;
    const auto write = [this](int field, double value) {
        m_fields[static_cast<std::size_t>(field)]->setText(formatTime(value));
    };
    switch (mark) {
    case WaveformView::StartMark:
        write(StartField, seconds);
        break;
    case WaveformView::StopMark:
        write(StopField, seconds);
        break;
    case WaveformView::FadeStartMark:
        write(FadeStartField, seconds);
        break;
    case WaveformView::FadeEndMark: {
        // Without a fade start the fade begins where its end was picked up.
        const std::optional<double> start = fieldTime(FadeStartField);
        if (!start)
            write(FadeStartField, seconds);
        write(FadeDurationField, start ? std::max(0.0, seconds - *start) : 0.0);
        break;
    }
    default:
        break;
    }
    m_writing = false;
    showFields(); // the marks snap to the times as written
}
