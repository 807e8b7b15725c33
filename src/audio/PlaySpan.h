// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// How one song plays: the part of it between `start` and `stop` (seconds into the file; a
/// stop of 0 is its end), faded out from `fadeStart` over `fadeDuration` (a fade start of 0:
/// no fade), at `gain` on top of its level.
struct PlaySpan {
    double start = 0.0;
    double stop = 0.0;
    double fadeStart = 0.0;
    double fadeDuration = 0.0;
    double gain = 1.0;

    /// The whole song as it is: what the hot list holds can play it.
    [[nodiscard]] bool whole() const { return start <= 0.0 && stop <= 0.0 && fadeStart <= 0.0; }
    friend bool operator==(const PlaySpan&, const PlaySpan&) = default;
};
