// SPDX-License-Identifier: GPL-3.0-or-later
#include "CdPcmSource.h"

#include "CdDrive.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {
/// Two seconds read ahead.
constexpr std::size_t RingFrames = 2 * Pcm::SampleRate;
} // namespace

/// What the reader thread and the output share; the thread keeps it alive after the
/// source is gone.
struct CdPcmSource::Shared {
    std::shared_ptr<CdSectorReader> reader;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::int16_t> ring = std::vector<std::int16_t>(RingFrames * Pcm::Channels); ///< interleaved
    std::size_t readPos = 0; ///< in frames, modulo the ring's frame count
    std::size_t fill = 0;    ///< frames ready
    bool readerDone = false;
    bool cancelled = false;

    std::atomic<bool> busy{false};
    std::atomic<std::int64_t> delivered{0};
    std::atomic<std::int64_t> silence{0};
    std::atomic<bool> exhausted{false};
    std::atomic<bool> readFailed{false};

    void run(std::int64_t from, std::int64_t to)
    {
        readRange(from, to);
        {
            const std::lock_guard lock(mutex);
            readerDone = true;
        }
        changed.notify_all();
        reader.reset();
        busy.store(false, std::memory_order_release);
    }

    void readRange(std::int64_t from, std::int64_t to)
    {
        if (!reader->startAudio(qint32(from / CdAudio::FramesPerSector))) {
            readFailed = true;
            return;
        }
        std::array<std::int16_t, CdAudio::SamplesPerSector> sector{};
        std::int64_t frame = from;
        while (frame < to) {
            {
                const std::lock_guard lock(mutex);
                if (cancelled)
                    return;
            }
            if (!reader->readAudioSector(sector.data())) {
                readFailed = true;
                return;
            }
            const std::int64_t sectorStart = frame - frame % CdAudio::FramesPerSector;
            const auto first = std::size_t(frame - sectorStart);
            const auto last = std::size_t(std::min<std::int64_t>(CdAudio::FramesPerSector, to - sectorStart));
            std::size_t next = first;
            while (next < last) {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return cancelled || fill < RingFrames; });
                if (cancelled)
                    return;
                const std::size_t writePos = (readPos + fill) % RingFrames;
                const std::size_t n = std::min({last - next, RingFrames - fill, RingFrames - writePos});
                std::memcpy(&ring[writePos * Pcm::Channels], &sector[next * Pcm::Channels],
                            n * Pcm::BytesPerFrame);
                fill += n;
                next += n;
                lock.unlock();
                changed.notify_all();
            }
            frame = sectorStart + CdAudio::FramesPerSector;
        }
    }
};

CdPcmSource::CdPcmSource(std::shared_ptr<CdSectorReader> reader, std::int64_t fromFrame, std::int64_t toFrame)
    : m_from(fromFrame)
    , m_to(std::max(fromFrame, toFrame))
    , m_s(std::make_shared<Shared>())
{
    m_s->reader = std::move(reader);
}

CdPcmSource::~CdPcmSource()
{
    cancel();
}

void CdPcmSource::start()
{
    if (m_s->busy.exchange(true))
        return;
    // Detached: stopping never waits for a sector's retries. The thread owns what it uses.
    std::thread([s = m_s, from = m_from, to = m_to] { s->run(from, to); }).detach();
}

void CdPcmSource::cancel()
{
    {
        const std::lock_guard lock(m_s->mutex);
        m_s->cancelled = true;
    }
    m_s->changed.notify_all();
}

bool CdPcmSource::readerBusy() const
{
    return m_s->busy.load(std::memory_order_acquire);
}

std::int64_t CdPcmSource::framesDelivered() const
{
    return m_s->delivered.load();
}

std::int64_t CdPcmSource::silenceFrames() const
{
    return m_s->silence.load();
}

bool CdPcmSource::exhausted() const
{
    return m_s->exhausted.load();
}

bool CdPcmSource::readFailed() const
{
    return m_s->readFailed.load();
}

std::size_t CdPcmSource::read(std::int16_t* out, std::size_t frames)
{
    Shared& s = *m_s;
    std::size_t copied = 0;
    {
        const std::lock_guard lock(s.mutex);
        if (s.cancelled) {
            s.exhausted = true;
            return 0;
        }
        while (copied < frames && s.fill > 0) {
            const std::size_t n = std::min({frames - copied, s.fill, RingFrames - s.readPos});
            std::memcpy(out + copied * Pcm::Channels, &s.ring[s.readPos * Pcm::Channels],
                        n * Pcm::BytesPerFrame);
            s.readPos = (s.readPos + n) % RingFrames;
            s.fill -= n;
            copied += n;
        }
        if (copied == 0 && s.readerDone) {
            s.exhausted = true;
            return 0;
        }
    }
    if (copied > 0) {
        s.delivered += std::int64_t(copied);
        s.changed.notify_all();
        return copied;
    }
    if (s.delivered.load() == 0 && s.silence.load() == 0)
        return 0; // the first sector is not read yet: the track starts when it is
    // The reader fell behind (a slow drive): keep the stream alive with silence.
    std::memset(out, 0, frames * Pcm::BytesPerFrame);
    s.silence += std::int64_t(frames);
    return frames;
}
