// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongTimes.h"

#include "songs/SongStruc.h"

#include <QRegularExpression>

std::optional<double> SongTimes::parseTime(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0.0;
    // Minutes (any number of digits) are optional; seconds under 60 when minutes are given.
    static const QRegularExpression form(QStringLiteral("^(?:(\\d{1,3}):)?(\\d{1,4})(?:\\.(\\d{1,2}))?$"));
    const QRegularExpressionMatch m = form.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const bool withMinutes = m.capturedLength(1) > 0;
    const int seconds = m.captured(2).toInt();
    if (withMinutes && (seconds >= 60 || m.capturedLength(2) != 2))
        return std::nullopt;
    double value = (withMinutes ? m.captured(1).toInt() * 60.0 : 0.0) + seconds;
    if (m.capturedLength(3) > 0)
        value += m.captured(3).toDouble() / (m.capturedLength(3) == 1 ? 10.0 : 100.0);
    return value;
}

SongTimes SongTimes::of(const TSongRecord& rec)
{
    SongTimes times;
    auto read = [&times](const QString& text, const QString& field) {
        const std::optional<double> v = parseTime(text);
        if (!v)
            times.unreadable << field;
        return v.value_or(0.0);
    };
    times.start = read(rec.StartTime.str(), QStringLiteral("Start Time"));
    times.stop = read(rec.StopTime.str(), QStringLiteral("Stop Time"));
    times.fadeStart = read(rec.FadeStart.str(), QStringLiteral("Fade Start"));
    times.fadeDuration = read(rec.FadeDuration.str(), QStringLiteral("Fade Duration"));
    if (times.stop > 0.0 && times.stop <= times.start) {
        times.unreadable << QStringLiteral("Stop Time");
        times.stop = 0.0;
    }
    if (times.fadeStart > 0.0 &&
        (times.fadeStart < times.start || (times.stop > 0.0 && times.fadeStart >= times.stop))) {
        times.unreadable << QStringLiteral("Fade Start");
        times.fadeStart = 0.0;
    }
    return times;
}
