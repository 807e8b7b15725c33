// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioOutput.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

/// The songs of one output stream, one after another: when the song that plays ends, the one
/// set to follow it goes on in the same read, so its first frame follows the last frame of the
/// one before with nothing between them. Each song carries its own level. One reader (the
/// audio thread); the song to follow is set from any other thread.
class ChainSource : public PcmSource {
public:
    /// Told on the audio thread when the next song took over: at which frame of the stream it
    /// starts. It must only post the news on.
    using HandedOver = std::function<void(std::int64_t startFrame)>;

    ChainSource(std::shared_ptr<PcmSource> first, double gain, HandedOver handedOver);

    std::size_t read(std::int16_t* out, std::size_t frames) override;
    [[nodiscard]] bool exhausted() const override;

    /// The song to follow the one that plays, replacing one set before; null: none follows.
    void setNext(std::shared_ptr<PcmSource> next, double gain);
    /// Takes `next` back unless the chain went on into it already (false then: its news is on
    /// the way).
    bool withdraw(const PcmSource* next);

private:
    std::size_t readCurrent(std::int16_t* out, std::size_t frames);

    std::shared_ptr<PcmSource> m_current; // reader only
    float m_gain;                         // reader only
    std::int64_t m_frames = 0;            // reader only: frames read so far
    HandedOver m_handedOver;
    mutable std::mutex m_mutex; // guards the next song, held only to swap it
    std::shared_ptr<PcmSource> m_next;
    float m_nextGain = 1.0f;
};
