// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The texts the board reads and writes about songs: the time display and CD track names.

/// Rounds seconds to the nearest whole second, halves to the even second, and
/// formats them as "%2.2d:%2.2d" minutes and seconds.
[[nodiscard]] QString FormatSeconds(double seconds);

/// The time left as the position panel counts it down: "-" and FormatSeconds, never below
/// "-00:00".
[[nodiscard]] QString FormatTimeLeft(double seconds);

/// The last seconds of a song, in which the time left shows in red.
constexpr double FinalSeconds = 10.0;

/// The CD track test: the extension after the last "." that follows the last "\"
/// or ":" (and, on this system, "/") is ".CDA" in any case.
[[nodiscard]] bool IsCdTrack(const QString& path);

/// The track number of a CD track file: the two characters before the first ".",
/// read as a decimal number; a ConvertError when they are not one.
[[nodiscard]] int CdTrackNumber(const QString& path);
