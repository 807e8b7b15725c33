// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

/// What a song measured: its integrated loudness (EBU R128) and its true peak.
struct Loudness {
    /// LUFS; minus infinity for a song that is silent throughout.
    double integratedLufs = 0.0;
    /// dBTP (dB of full scale, between the samples as well).
    double truePeakDb = 0.0;
    bool operator==(const Loudness&) const = default;
};

/// Measures the program's PCM (16-bit stereo, 44.1 kHz) with libebur128, block by block.
class LoudnessMeter {
public:
    /// Raises DeviceError when the library cannot be set up (out of memory).
    LoudnessMeter();
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const std::int16_t* frames, std::size_t count);
    /// The loudness of everything added so far.
    [[nodiscard]] Loudness result() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
