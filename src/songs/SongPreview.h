// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

/// What plays a song for the operator's ears only, on the preview output: the song
/// attributes dialog plays from a point of its waveform through it.
class SongPreview {
public:
    virtual ~SongPreview() = default;
    /// Empty while a preview can be played; otherwise why not, for the hint of what plays one.
    [[nodiscard]] virtual QString unavailable() const = 0;
    /// Plays `path` from `seconds` on, in place of any preview. Raises an error the operator
    /// reads when it cannot.
    virtual void playFrom(const QString& path, double seconds) = 0;
    virtual void stopPreview() = 0;
    /// Seconds into the song the preview plays now; nullopt while none plays.
    [[nodiscard]] virtual std::optional<double> previewPosition() const = 0;
};
