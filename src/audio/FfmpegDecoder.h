// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioDecoder.h"

#include <memory>

/// Decodes the audio track of anything FFmpeg opens (.wav, .au, .mp3, .avi, ...).
class FfmpegDecoder : public AudioDecoder {
public:
    /// Raises DeviceError with FFmpeg's reason when the file cannot be opened.
    explicit FfmpegDecoder(const QString& path);
    ~FfmpegDecoder() override;

    [[nodiscard]] double duration() const override;
    std::size_t read(std::int16_t* out, std::size_t frames) override;
    /// Seeks to the packet at or before `frame`, then passes over the frames decoded before it.
    bool seek(std::int64_t frame) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
