// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct SwrContext;

/// Reading and writing wave files (RIFF WAVE and its 64-bit variants) through libsndfile.
namespace WaveFile {

enum class LoadResult { Loaded, NotFound, Unreadable, NotAWave };

/// A wave as its file holds it: its format and its samples at its own rate and channels,
/// so that a wave opened and saved comes back as it was.
struct NativeWave {
    int format = 0; ///< libsndfile's container and sample format
    int sampleRate = 0;
    int channels = 0;
    /// Interleaved; 32-bit integers (the file's samples in the top bits), or float bits
    /// for floating-point files.
    std::vector<std::int32_t> samples;

    [[nodiscard]] bool isFloat() const;
    [[nodiscard]] std::int64_t frames() const
    {
        return channels > 0 ? std::int64_t(samples.size()) / channels : 0;
    }
};

/// Reads the whole wave at `path` as interleaved 16-bit stereo at 44.1 kHz into `samples`:
/// mono is copied to both sides, more channels are mixed down, other rates resampled.
/// With `native`, also the wave as the file holds it.
/// On any result but Loaded `samples` is left empty.
[[nodiscard]] LoadResult load(const QString& path, std::vector<std::int16_t>& samples,
                              NativeWave* native = nullptr);

/// Turns 16-bit stereo at 44.1 kHz into a native wave's rate, channels and sample kind,
/// a piece at a time (a recording as it comes in).
class ToNative {
public:
    explicit ToNative(const NativeWave& format);
    ~ToNative();
    ToNative(const ToNative&) = delete;
    ToNative& operator=(const ToNative&) = delete;

    /// The native samples for `frames` more frames of input (the resampler may hold a few back).
    [[nodiscard]] std::vector<std::int32_t> convert(const std::int16_t* samples, std::int64_t frames);
    /// What the resampler still holds, at the end of the input.
    [[nodiscard]] std::vector<std::int32_t> flush();

private:
    std::vector<std::int32_t> fromStereoFloat(const float* frames, std::int64_t count) const;

    int m_rate;
    int m_channels;
    bool m_float;
    SwrContext* m_swr = nullptr;
};

/// Writes `wave` in its own format, like save() below.
[[nodiscard]] bool save(const QString& path, const NativeWave& wave);

/// The bytes of a 16-bit PCM stereo 44.1 kHz wave holding `frames` frames of `samples`;
/// empty when libsndfile cannot encode it (a wave of 4 GB or more).
[[nodiscard]] QByteArray encode(const std::int16_t* samples, std::int64_t frames);

/// Writes `samples` to `path`, exactly that name, replacing a file there only once the new
/// one is complete. False when the folder does not exist or the file cannot be written.
[[nodiscard]] bool save(const QString& path, const std::int16_t* samples, std::int64_t frames);

/// Starts opening the resampler's libraries on a thread of their own; returns at once. Without
/// it they are opened at their first use.
void loadLibrariesSoon();

} // namespace WaveFile
