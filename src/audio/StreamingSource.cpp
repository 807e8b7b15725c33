// SPDX-License-Identifier: GPL-3.0-or-later
#include "StreamingSource.h"

#include <algorithm>
#include <cstring>

StreamingSource::StreamingSource(Head head, std::size_t ringFrames)
    : m_head(std::move(head))
    , m_ring(std::max<std::size_t>(ringFrames, 1) * Pcm::Channels)
    , m_capacity(std::max<std::size_t>(ringFrames, 1))
{
}

std::size_t StreamingSource::read(std::int16_t* out, std::size_t frames)
{
    std::int64_t nudge = m_nudge.exchange(0, std::memory_order_acq_rel);
    std::size_t held = 0;
    if (nudge < 0) {
        held = std::min(frames, static_cast<std::size_t>(-nudge));
        std::memset(out, 0, held * Pcm::BytesPerFrame);
        nudge += static_cast<std::int64_t>(held);
    } else if (nudge > 0) {
        nudge -= static_cast<std::int64_t>(skip(static_cast<std::size_t>(nudge)));
    }
    if (nudge != 0)
        m_nudge.fetch_add(nudge, std::memory_order_acq_rel); // the rest at the next read
    return held + copy(out + held * Pcm::Channels, frames - held);
}

std::size_t StreamingSource::copy(std::int16_t* out, std::size_t frames)
{
    std::size_t done = 0;
    if (m_head && m_headPos < m_head->size()) {
        const std::size_t n = std::min(frames, (m_head->size() - m_headPos) / Pcm::Channels);
        std::memcpy(out, m_head->data() + m_headPos, n * Pcm::BytesPerFrame);
        m_headPos += n * Pcm::Channels;
        done = n;
        if (m_headPos >= m_head->size())
            m_head.reset(); // the cache keeps its own reference
    }
    const std::size_t readAt = m_readFrames.load(std::memory_order_relaxed);
    const std::size_t available = m_writtenFrames.load(std::memory_order_acquire) - readAt;
    std::size_t n = std::min(frames - done, available);
    for (std::size_t copied = 0; copied < n;) {
        const std::size_t at = (readAt + copied) % m_capacity;
        const std::size_t run = std::min(n - copied, m_capacity - at);
        std::memcpy(out + (done + copied) * Pcm::Channels, m_ring.data() + at * Pcm::Channels,
                    run * Pcm::BytesPerFrame);
        copied += run;
    }
    m_readFrames.store(readAt + n, std::memory_order_release);
    return done + n;
}

std::size_t StreamingSource::skip(std::size_t frames)
{
    std::size_t done = 0;
    if (m_head && m_headPos < m_head->size()) {
        done = std::min(frames, (m_head->size() - m_headPos) / Pcm::Channels);
        m_headPos += done * Pcm::Channels;
        if (m_headPos >= m_head->size())
            m_head.reset();
    }
    const std::size_t readAt = m_readFrames.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames - done, m_writtenFrames.load(std::memory_order_acquire) - readAt);
    m_readFrames.store(readAt + n, std::memory_order_release);
    return done + n;
}

void StreamingSource::nudge(std::int64_t frames)
{
    m_nudge.fetch_add(frames, std::memory_order_acq_rel);
}

bool StreamingSource::exhausted() const
{
    if (m_head && m_headPos < m_head->size())
        return false;
    // Finished is published after the last push, so an empty ring read after it is the end.
    const bool finished = m_finished.load(std::memory_order_acquire);
    return finished &&
           m_writtenFrames.load(std::memory_order_acquire) == m_readFrames.load(std::memory_order_relaxed);
}

std::size_t StreamingSource::freeFrames() const
{
    return m_capacity -
           (m_writtenFrames.load(std::memory_order_relaxed) - m_readFrames.load(std::memory_order_acquire));
}

std::size_t StreamingSource::push(const std::int16_t* in, std::size_t frames)
{
    const std::size_t writeAt = m_writtenFrames.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames, freeFrames());
    for (std::size_t copied = 0; copied < n;) {
        const std::size_t at = (writeAt + copied) % m_capacity;
        const std::size_t run = std::min(n - copied, m_capacity - at);
        std::memcpy(m_ring.data() + at * Pcm::Channels, in + copied * Pcm::Channels,
                    run * Pcm::BytesPerFrame);
        copied += run;
    }
    m_writtenFrames.store(writeAt + n, std::memory_order_release);
    return n;
}

void StreamingSource::finish()
{
    m_finished.store(true, std::memory_order_release);
}

void StreamingSource::cancel()
{
    m_cancelled.store(true, std::memory_order_relaxed);
}

bool StreamingSource::cancelled() const
{
    return m_cancelled.load(std::memory_order_relaxed);
}
