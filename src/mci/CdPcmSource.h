// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioOutput.h"

#include <cstdint>
#include <memory>

class CdSectorReader;

/// Audio of a range of a disc, read ahead on a thread of its own and handed to the sound
/// output. Frames are counted from the start of the disc (588 to a sector). No call waits
/// for the reader: a damaged disc can hold it in one sector's retries for seconds.
class CdPcmSource : public PcmSource {
public:
    /// Plays [fromFrame, toFrame). The reader thread uses `reader` until it ends.
    CdPcmSource(std::shared_ptr<CdSectorReader> reader, std::int64_t fromFrame, std::int64_t toFrame);
    ~CdPcmSource() override;

    CdPcmSource(const CdPcmSource&) = delete;
    CdPcmSource& operator=(const CdPcmSource&) = delete;

    /// Starts the reader thread, which seeks and reads ahead; returns at once.
    void start();
    /// Ends the range now; `read` then reports the end. Does not wait for the reader,
    /// which lets go of the disc once its current sector is done.
    void cancel();
    /// The reader thread still holds the disc reader.
    [[nodiscard]] bool readerBusy() const;

    /// Until the first sector is read nothing is handed out (the output asks again); later,
    /// a reader that fell behind is covered with silence.
    std::size_t read(std::int16_t* out, std::size_t frames) override;

    /// Frames handed out so far, silence for a late reader excluded.
    [[nodiscard]] std::int64_t framesDelivered() const;
    /// Silence handed out because the reader fell behind.
    [[nodiscard]] std::int64_t silenceFrames() const;
    /// All of the range was handed out (or reading failed and the rest was given up).
    [[nodiscard]] bool exhausted() const override;
    /// A sector could not be read; the range ended early.
    [[nodiscard]] bool readFailed() const;
    [[nodiscard]] std::int64_t fromFrame() const { return m_from; }
    [[nodiscard]] std::int64_t toFrame() const { return m_to; }

private:
    struct Shared;
    const std::int64_t m_from;
    const std::int64_t m_to;
    std::shared_ptr<Shared> m_s;
};
