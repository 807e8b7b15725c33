// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioOutput.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CdDrive;

/// Audio of a range of a disc, read ahead on a thread of its own and handed to the sound
/// output. Frames are counted from the start of the disc (588 to a sector).
class CdPcmSource : public PcmSource {
public:
    /// Plays [fromFrame, toFrame). The reader thread uses `drive` until `cancel()`.
    CdPcmSource(std::shared_ptr<CdDrive> drive, std::int64_t fromFrame, std::int64_t toFrame);
    ~CdPcmSource() override;

    CdPcmSource(const CdPcmSource&) = delete;
    CdPcmSource& operator=(const CdPcmSource&) = delete;

    /// Starts reading; false when the disc cannot be read at `fromFrame`.
    bool start();
    /// Stops the reader and waits for it; `read` then reports the end.
    void cancel();
    /// Waits until `frames` frames are ready (or the range is read), at most `timeoutMs`.
    void waitForData(std::int64_t frames, int timeoutMs);

    std::size_t read(std::int16_t* out, std::size_t frames) override;

    /// Frames handed out so far, silence for a late reader excluded.
    [[nodiscard]] std::int64_t framesDelivered() const { return m_delivered.load(); }
    /// Silence handed out because the reader fell behind.
    [[nodiscard]] std::int64_t silenceFrames() const { return m_silence.load(); }
    /// All of the range was handed out (or reading failed and the rest was given up).
    [[nodiscard]] bool exhausted() const { return m_exhausted.load(); }
    /// A sector could not be read; the range ended early.
    [[nodiscard]] bool readFailed() const { return m_readFailed.load(); }
    [[nodiscard]] std::int64_t fromFrame() const { return m_from; }
    [[nodiscard]] std::int64_t toFrame() const { return m_to; }

private:
    void run();

    std::shared_ptr<CdDrive> m_drive;
    const std::int64_t m_from;
    const std::int64_t m_to;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::int16_t> m_ring; ///< interleaved stereo samples
    std::size_t m_readPos = 0;        ///< in frames, modulo the ring's frame count
    std::size_t m_fill = 0;           ///< frames ready
    bool m_readerDone = false;
    bool m_cancel = false;

    std::atomic<std::int64_t> m_delivered{0};
    std::atomic<std::int64_t> m_silence{0};
    std::atomic<bool> m_exhausted{false};
    std::atomic<bool> m_readFailed{false};
    std::thread m_thread;
};
