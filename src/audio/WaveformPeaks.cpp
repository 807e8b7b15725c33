// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveformPeaks.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

WaveformPeaks computeWaveformPeaks(const QString& path, const std::atomic<bool>& cancel)
{
    WaveformPeaks result;
    const std::unique_ptr<AudioDecoder> decoder = openAudioDecoder(path);
    constexpr std::size_t BlockPeaks = 64;
    std::vector<std::int16_t> block(BlockPeaks * WaveformPeaks::FramesPerPeak * Pcm::Channels);
    std::int64_t frames = 0;
    int inPeak = 0; // frames of the last peak so far
    while (!cancel.load(std::memory_order_relaxed)) {
        const std::size_t got = decoder->read(block.data(), block.size() / Pcm::Channels);
        if (got == 0)
            break;
        for (std::size_t i = 0; i < got; ++i) {
            if (inPeak == 0)
                result.peaks.push_back(0.0f);
            const int left = std::abs(static_cast<int>(block[i * 2]));
            const int right = std::abs(static_cast<int>(block[i * 2 + 1]));
            const float level = static_cast<float>(std::max(left, right)) / 32768.0f;
            result.peaks.back() = std::max(result.peaks.back(), level);
            inPeak = (inPeak + 1) % WaveformPeaks::FramesPerPeak;
        }
        frames += static_cast<std::int64_t>(got);
    }
    result.seconds = static_cast<double>(frames) / Pcm::SampleRate;
    return result;
}
