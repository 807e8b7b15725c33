// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChainSource.h"

#include <algorithm>
#include <cmath>

namespace {

/// The most a song is raised (+24 dB), as the output allows.
constexpr double MaxGain = 16.0;

float clampGain(double gain)
{
    return static_cast<float>(std::clamp(gain, 0.0, MaxGain));
}

} // namespace

ChainSource::ChainSource(std::shared_ptr<PcmSource> first, double gain, HandedOver handedOver)
    : m_current(std::move(first))
    , m_gain(clampGain(gain))
    , m_handedOver(std::move(handedOver))
{
}

std::size_t ChainSource::read(std::int16_t* out, std::size_t frames)
{
    std::size_t done = readCurrent(out, frames);
    while (done < frames && m_current->exhausted()) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_next)
                break;
            m_current = std::move(m_next);
            m_gain = m_nextGain;
        }
        if (m_handedOver)
            m_handedOver(m_frames + static_cast<std::int64_t>(done));
        done += readCurrent(out + done * Pcm::Channels, frames - done);
    }
    m_frames += static_cast<std::int64_t>(done);
    return done;
}

std::size_t ChainSource::readCurrent(std::int16_t* out, std::size_t frames)
{
    const std::size_t n = std::min(m_current->read(out, frames), frames);
    if (m_gain != 1.0f) {
        for (std::size_t i = 0; i < n * Pcm::Channels; ++i)
            out[i] = static_cast<std::int16_t>(
                std::clamp(std::lrintf(static_cast<float>(out[i]) * m_gain), -32768L, 32767L));
    }
    return n;
}

bool ChainSource::exhausted() const
{
    if (!m_current->exhausted())
        return false;
    std::lock_guard lock(m_mutex);
    return !m_next;
}

void ChainSource::setNext(std::shared_ptr<PcmSource> next, double gain)
{
    std::lock_guard lock(m_mutex);
    m_next = std::move(next);
    m_nextGain = clampGain(gain);
}

bool ChainSource::withdraw(const PcmSource* next)
{
    std::lock_guard lock(m_mutex);
    if (m_next.get() != next)
        return false;
    m_next.reset();
    return true;
}
