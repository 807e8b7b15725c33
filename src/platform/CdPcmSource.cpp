// SPDX-License-Identifier: GPL-3.0-or-later
#include "CdPcmSource.h"

#include "CdDrive.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

namespace {
/// Two seconds read ahead.
constexpr std::size_t RingFrames = 2 * Pcm::SampleRate;
} // namespace

CdPcmSource::CdPcmSource(std::shared_ptr<CdDrive> drive, std::int64_t fromFrame, std::int64_t toFrame)
    : m_drive(std::move(drive))
    , m_from(fromFrame)
    , m_to(std::max(fromFrame, toFrame))
    , m_ring(RingFrames * Pcm::Channels)
{
}

CdPcmSource::~CdPcmSource()
{
    cancel();
}

bool CdPcmSource::start()
{
    if (!m_drive->startAudio(qint32(m_from / CdAudio::FramesPerSector)))
        return false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void CdPcmSource::cancel()
{
    {
        const std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CdPcmSource::waitForData(std::int64_t frames, int timeoutMs)
{
    const auto wanted = std::size_t(std::clamp<std::int64_t>(frames, 0, RingFrames));
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_fill >= wanted || m_readerDone || m_cancel; });
}

void CdPcmSource::run()
{
    std::array<std::int16_t, CdAudio::SamplesPerSector> sector{};
    std::int64_t frame = m_from;
    while (frame < m_to) {
        if (!m_drive->readAudioSector(sector.data())) {
            m_readFailed = true;
            break;
        }
        const std::int64_t sectorStart = frame - frame % CdAudio::FramesPerSector;
        const auto first = std::size_t(frame - sectorStart);
        const auto last = std::size_t(std::min<std::int64_t>(CdAudio::FramesPerSector, m_to - sectorStart));
        std::size_t next = first;
        while (next < last) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_cancel || m_fill < RingFrames; });
            if (m_cancel)
                return;
            const std::size_t writePos = (m_readPos + m_fill) % RingFrames;
            const std::size_t n = std::min({last - next, RingFrames - m_fill, RingFrames - writePos});
            std::memcpy(&m_ring[writePos * Pcm::Channels], &sector[next * Pcm::Channels],
                        n * Pcm::BytesPerFrame);
            m_fill += n;
            next += n;
            lock.unlock();
            m_changed.notify_all();
        }
        frame = sectorStart + CdAudio::FramesPerSector;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_readerDone = true;
    }
    m_changed.notify_all();
}

std::size_t CdPcmSource::read(std::int16_t* out, std::size_t frames)
{
    std::size_t copied = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_cancel) {
            m_exhausted = true;
            return 0;
        }
        while (copied < frames && m_fill > 0) {
            const std::size_t n = std::min({frames - copied, m_fill, RingFrames - m_readPos});
            std::memcpy(out + copied * Pcm::Channels, &m_ring[m_readPos * Pcm::Channels], n * Pcm::BytesPerFrame);
            m_readPos = (m_readPos + n) % RingFrames;
            m_fill -= n;
            copied += n;
        }
        if (copied == 0 && m_readerDone) {
            m_exhausted = true;
            return 0;
        }
    }
    if (copied > 0) {
        m_delivered += std::int64_t(copied);
        m_changed.notify_all();
        return copied;
    }
    // The reader fell behind (a slow drive): keep the stream alive with silence.
    std::memset(out, 0, frames * Pcm::BytesPerFrame);
    m_silence += std::int64_t(frames);
    return frames;
}
