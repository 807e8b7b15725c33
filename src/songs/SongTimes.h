// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct TSongRecord;

/// The four times a song record carries, read as seconds for playing the song trimmed.
struct SongTimes {
    double start = 0.0;
    double stop = 0.0;         ///< 0: the song's end
    double fadeStart = 0.0;    ///< 0: no fade
    double fadeDuration = 0.0; ///< 0 with a fade start: the song stops there
    /// The fields whose text could not be read ("Start Time", ...), each ignored.
    QStringList unreadable;

    /// Reads "mm:ss" as the editor writes it, "m:ss", "ss", and tenths ("m:ss.t", "ss.t").
    /// Blank text counts as 0; anything else that is not such a time is not read.
    [[nodiscard]] static std::optional<double> parseTime(const QString& text);
    /// The record's times; a stop not after the start, or a fade start outside the span, is
    /// ignored and said as unreadable.
    [[nodiscard]] static SongTimes of(const TSongRecord& rec);
    [[nodiscard]] bool trimmed() const { return start > 0.0 || stop > 0.0 || fadeStart > 0.0; }
};
