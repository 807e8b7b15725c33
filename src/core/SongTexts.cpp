// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongTexts.h"

#include "platform/Errors.h"

#include <algorithm>
#include <cmath>

namespace {

/// Rounds half to the even neighbour, as the display of times does.
long long roundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value)); // the default rounding mode is to-nearest-even
}

} // namespace

QString FormatSeconds(double seconds)
{
    const long long s = roundHalfEven(seconds);
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString FormatTimeLeft(double seconds)
{
    return QLatin1Char('-') + FormatSeconds(std::max(0.0, seconds));
}

bool IsCdTrack(const QString& path)
{
    qsizetype sep = -1;
    for (const char c : {'\\', ':', '/'})
        sep = std::max(sep, path.lastIndexOf(QLatin1Char(c)));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= sep)
        return false;
    return path.mid(dot).toUpper() == QLatin1String(".CDA");
}

int CdTrackNumber(const QString& path)
{
    const qsizetype dot = path.indexOf(QLatin1Char('.'));
    const qsizetype end = dot < 0 ? path.size() : dot;
    const qsizetype start = std::max<qsizetype>(0, end - 2);
    const QString digits = path.mid(start, end - start);
    bool ok = false;
    const int track = digits.trimmed().toInt(&ok, 10);
    if (!ok || digits.isEmpty() || digits.back().isSpace())
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(digits));
    return track;
}
