// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <atomic>
#include <vector>

/// A song's outline: the loudest sample of each stretch of it, for drawing its waveform.
struct WaveformPeaks {
    /// Each peak stands for this many frames (10 ms).
    static constexpr int FramesPerPeak = 441;
    /// 0..1: the largest magnitude of either channel in its stretch.
    std::vector<float> peaks;
    /// How long the decoded song is.
    double seconds = 0.0;
};

/// Decodes `path` whole and returns its peaks; returns what it has so far once `cancel` turns
/// true. Raises DeviceError whose message is the reason when the file cannot be decoded.
[[nodiscard]] WaveformPeaks computeWaveformPeaks(const QString& path, const std::atomic<bool>& cancel);
