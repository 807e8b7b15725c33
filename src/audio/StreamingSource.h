// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioOutput.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

/// A song on its way to the output: a head already decoded in memory, then a ring that the
/// decoding thread fills behind it. One reader (the audio thread) and one writer (the decoding
/// thread); neither ever waits for the other.
class StreamingSource : public PcmSource {
public:
    using Head = std::shared_ptr<const std::vector<std::int16_t>>;

    StreamingSource(Head head, std::size_t ringFrames);

    std::size_t read(std::int16_t* out, std::size_t frames) override;
    [[nodiscard]] bool exhausted() const override;

    /// Writer side: room left in the ring, in frames.
    [[nodiscard]] std::size_t freeFrames() const;
    /// Writer side: appends up to `frames` frames; returns how many fitted.
    std::size_t push(const std::int16_t* in, std::size_t frames);
    /// Writer side: nothing more will come.
    void finish();

    /// Any thread: moves what is read next `frames` on (skipping them) or, when negative, holds
    /// it back by as many frames of silence. Takes effect at the reader's next read.
    void nudge(std::int64_t frames);

    /// The song was dropped: the writer may stop feeding it.
    void cancel();
    [[nodiscard]] bool cancelled() const;

private:
    /// Reader side: passes over up to `frames` frames; returns how many it passed.
    std::size_t skip(std::size_t frames);
    /// Reader side: up to `frames` frames into `out`.
    std::size_t copy(std::int16_t* out, std::size_t frames);

    Head m_head;
    std::size_t m_headPos = 0; // reader only, in samples
    std::vector<std::int16_t> m_ring;
    std::size_t m_capacity; // frames
    std::atomic<std::size_t> m_readFrames{0};
    std::atomic<std::size_t> m_writtenFrames{0};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_cancelled{false};
    std::atomic<std::int64_t> m_nudge{0};
};
