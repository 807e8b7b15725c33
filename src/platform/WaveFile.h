// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

/// Reading and writing wave files (RIFF WAVE and its 64-bit variants) through libsndfile.
namespace WaveFile {

enum class LoadResult { Loaded, NotFound, Unreadable, NotAWave };

/// Reads the whole wave at `path` as interleaved 16-bit stereo at 44.1 kHz into `samples`:
/// mono is copied to both sides, more channels are mixed down, other rates resampled.
/// On any result but Loaded `samples` is left empty.
[[nodiscard]] LoadResult load(const QString& path, std::vector<std::int16_t>& samples);

/// The bytes of a 16-bit PCM stereo 44.1 kHz wave holding `frames` frames of `samples`;
/// empty when libsndfile cannot encode it (a wave of 4 GB or more).
[[nodiscard]] QByteArray encode(const std::int16_t* samples, std::int64_t frames);

/// Writes `samples` to `path`, exactly that name, replacing a file there only once the new
/// one is complete. False when the folder does not exist or the file cannot be written.
[[nodiscard]] bool save(const QString& path, const std::int16_t* samples, std::int64_t frames);

} // namespace WaveFile
