// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioDecoder.h"
#include "PlaySpan.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

/// A decoder that gives only a span of another's song: it passes over the frames before the
/// start, ends at the stop, and fades out as the span says (from full level to -60 dB, evenly
/// in decibels, after which the song ends).
class SpanDecoder : public AudioDecoder {
public:
    SpanDecoder(std::unique_ptr<AudioDecoder> inner, const PlaySpan& span);

    /// The span's length as far as the song's is known.
    [[nodiscard]] double duration() const override;
    std::size_t read(std::int16_t* out, std::size_t frames) override;

private:
    void passOverStart();

    std::unique_ptr<AudioDecoder> m_inner;
    std::int64_t m_start;      ///< frames passed over at the beginning
    std::int64_t m_end;        ///< the frame the span ends before; -1: the song's end
    std::int64_t m_fadeFrom;   ///< -1: no fade
    std::int64_t m_fadeFrames; ///< 0 with a fade: the span ends where the fade would start
    std::int64_t m_at = 0;     ///< frames of the song read so far, the passed-over ones included
};
