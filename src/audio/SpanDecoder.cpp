// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpanDecoder.h"

#include "AudioOutput.h"

#include <algorithm>
#include <cmath>

namespace {

/// A fade ends at -60 dB, as the operator's fade does.
constexpr double FadeDepthDb = 60.0;

std::int64_t frameAt(double seconds)
{
    return static_cast<std::int64_t>(std::llround(std::max(0.0, seconds) * Pcm::SampleRate));
}

} // namespace

SpanDecoder::SpanDecoder(std::unique_ptr<AudioDecoder> inner, const PlaySpan& span)
    : m_inner(std::move(inner))
    , m_start(frameAt(span.start))
    , m_end(span.stop > 0.0 ? frameAt(span.stop) : -1)
    , m_fadeFrom(span.fadeStart > 0.0 ? frameAt(span.fadeStart) : -1)
    , m_fadeFrames(frameAt(span.fadeDuration))
{
    if (m_fadeFrom >= 0) {
        const std::int64_t fadeEnd = m_fadeFrom + m_fadeFrames;
        m_end = m_end < 0 ? fadeEnd : std::min(m_end, fadeEnd);
    }
}

double SpanDecoder::duration() const
{
    double end = m_inner->duration();
    if (m_end >= 0)
        end = end > 0.0 ? std::min(end, static_cast<double>(m_end) / Pcm::SampleRate)
                        : static_cast<double>(m_end) / Pcm::SampleRate;
    return std::max(0.0, end - static_cast<double>(m_start) / Pcm::SampleRate);
}

void SpanDecoder::passOverStart()
{
    if (m_inner->seek(m_start)) {
        m_at = m_start;
        return;
    }
    std::vector<std::int16_t> scratch(std::size_t{4096} * Pcm::Channels);
    while (m_at < m_start) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(4096, m_start - m_at));
        const std::size_t got = m_inner->read(scratch.data(), want);
        if (got == 0)
            return;
        m_at += static_cast<std::int64_t>(got);
    }
}

std::size_t SpanDecoder::read(std::int16_t* out, std::size_t frames)
{
    if (m_at < m_start)
        passOverStart();
    if (m_end >= 0)
        frames = static_cast<std::size_t>(
            std::clamp<std::int64_t>(m_end - m_at, 0, static_cast<std::int64_t>(frames)));
    if (frames == 0)
        return 0;
    const std::size_t got = m_inner->read(out, frames);
    if (m_fadeFrom >= 0 && m_at + static_cast<std::int64_t>(got) > m_fadeFrom && m_fadeFrames > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            const std::int64_t into = m_at + static_cast<std::int64_t>(i) - m_fadeFrom;
            if (into < 0)
                continue;
            const double db = -FadeDepthDb * static_cast<double>(into) / static_cast<double>(m_fadeFrames);
            const double gain = std::pow(10.0, db / 20.0);
            for (int c = 0; c < Pcm::Channels; ++c) {
                std::int16_t& s = out[i * Pcm::Channels + static_cast<std::size_t>(c)];
                s = static_cast<std::int16_t>(std::lrint(static_cast<double>(s) * gain));
            }
        }
    }
    m_at += static_cast<std::int64_t>(got);
    return got;
}
