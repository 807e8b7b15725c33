// SPDX-License-Identifier: GPL-3.0-or-later
#include "DecodeAhead.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "HotCache.h"
#include "StreamingSource.h"
#include "platform/Realtime.h"

#include <QSet>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {
constexpr std::size_t ChunkFrames = 4096;
/// While songs play the thread looks at their rings this often; rings hold well over that.
constexpr auto FeedInterval = std::chrono::milliseconds(100);
/// The shortest rest between two warming steps at real-time priority.
constexpr auto MinWarmRest = std::chrono::microseconds(200);
/// At real-time priority a long fill (a slow format, a far start) rests this briefly this often:
/// a thread that runs too long without sleeping is put back to normal priority.
constexpr auto FeedBurst = std::chrono::milliseconds(20);
constexpr auto FeedRest = std::chrono::microseconds(300);
} // namespace

struct DecodeAhead::Job {
    std::shared_ptr<StreamingSource> source;
    std::unique_ptr<AudioDecoder> decoder;
    QString path;
    std::int64_t skip = 0;
};

struct DecodeAhead::Warming {
    QString path;
    std::unique_ptr<AudioDecoder> decoder;
    std::shared_ptr<HotHead> head;
};

DecodeAhead::DecodeAhead(HotCache& cache, std::size_t headFrames)
    : m_cache(cache)
    , m_headFrames(headFrames)
    , m_thread([this] { run(); })
{
}

DecodeAhead::~DecodeAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DecodeAhead::feed(std::shared_ptr<StreamingSource> source, std::unique_ptr<AudioDecoder> decoder,
                       const QString& path, std::int64_t skipFrames)
{
    {
        std::lock_guard lock(m_mutex);
        m_incoming.push_back(Job{std::move(source), std::move(decoder), path, skipFrames});
    }
    m_wake.notify_all();
}

void DecodeAhead::setHotList(const QStringList& paths)
{
    {
        std::lock_guard lock(m_mutex);
        m_hotList = paths;
        m_hotListChanged = true;
        m_warm = false;
    }
    m_wake.notify_all();
}

bool DecodeAhead::waitWarm(int msecs)
{
    std::unique_lock lock(m_mutex);
    return m_warmed.wait_for(lock, std::chrono::milliseconds(msecs), [this] { return m_warm; });
}

void DecodeAhead::run()
{
    // Real-time where allowed, so that the rings of playing songs stay filled on a busy machine.
    m_realtime = Realtime::makeRealtime(Realtime::currentThread(), Realtime::DecodePriority);
    const bool realtime = m_realtime;
    std::deque<Job> jobs;
    std::unique_ptr<Warming> warming;
    QStringList hotList;
    qsizetype next = 0;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_quit)
                return;
            while (!m_incoming.empty()) {
                jobs.push_back(std::move(m_incoming.front()));
                m_incoming.pop_front();
            }
            if (m_hotListChanged) {
                hotList = m_hotList;
                m_hotListChanged = false;
                warming.reset();
                next = 0;
            }
        }

        feedAll(jobs);
        const auto warmStart = std::chrono::steady_clock::now();
        const bool moreToWarm = warmStep(warming, hotList, next);
        const auto warmTook = std::chrono::steady_clock::now() - warmStart;

        std::unique_lock lock(m_mutex);
        if (!moreToWarm && !m_hotListChanged && !m_warm) {
            m_warm = true;
            m_warmed.notify_all();
        }
        if (m_quit)
            return;
        if (!m_incoming.empty() || m_hotListChanged)
            continue;
        if (moreToWarm) {
            if (realtime) {
                // Warming is bulk work: at real-time priority it rests as long as it worked, so
                // that it takes at most half a core and never runs into the run-time bound.
                lock.unlock();
                std::this_thread::sleep_for(
                    std::max<std::chrono::steady_clock::duration>(warmTook, MinWarmRest));
            }
            continue;
        }
        if (jobs.empty())
            m_wake.wait(lock, [this] { return m_quit || !m_incoming.empty() || m_hotListChanged; });
        else
            m_wake.wait_for(lock, FeedInterval);
    }
}

void DecodeAhead::feedAll(std::deque<Job>& jobs)
{
    std::vector<std::int16_t> chunk(ChunkFrames * Pcm::Channels);
    auto since = std::chrono::steady_clock::now();
    const auto breathe = [&] {
        if (m_realtime && std::chrono::steady_clock::now() - since > FeedBurst) {
            std::this_thread::sleep_for(FeedRest);
            since = std::chrono::steady_clock::now();
        }
    };
    for (auto it = jobs.begin(); it != jobs.end();) {
        Job& job = *it;
        bool done = job.source->cancelled();
        try {
            if (!done && !job.decoder) {
                job.decoder = openAudioDecoder(job.path);
                while (job.skip > 0 && !job.source->cancelled()) {
                    const auto want = std::min<std::int64_t>(job.skip, ChunkFrames);
                    const std::size_t got = job.decoder->read(chunk.data(), static_cast<std::size_t>(want));
                    if (got == 0)
                        break;
                    job.skip -= static_cast<std::int64_t>(got);
                    breathe();
                }
            }
            while (!done && job.source->freeFrames() >= ChunkFrames && !job.source->cancelled()) {
                const std::size_t got = job.decoder->read(chunk.data(), ChunkFrames);
                job.source->push(chunk.data(), got);
                if (got < ChunkFrames)
                    done = true;
                breathe();
            }
        } catch (...) {
            done = true; // a file that breaks off mid-way ends there
        }
        if (done) {
            job.source->finish();
            it = jobs.erase(it);
        } else {
            ++it;
        }
    }
}

bool DecodeAhead::warmStep(std::unique_ptr<Warming>& warming, const QStringList& list, qsizetype& next)
{
    const std::size_t headBytes = m_headFrames * Pcm::BytesPerFrame + sizeof(HotHead);
    while (!warming) {
        if (next >= list.size())
            return false;
        const QString path = list.at(next);
        if (m_cache.find(path)) {
            ++next;
            continue;
        }
        const QStringList before = list.mid(0, next);
        if (!m_cache.fits(headBytes, QSet<QString>(before.cbegin(), before.cend()))) {
            next = list.size(); // the budget is spent on the songs listed earlier
            return false;
        }
        auto w = std::make_unique<Warming>();
        w->path = path;
        w->head = std::make_shared<HotHead>();
        w->head->stamp = FileStamp::of(path);
        try {
            w->decoder = openAudioDecoder(path);
            w->head->duration = w->decoder->duration();
            w->head->pcm.reserve(m_headFrames * Pcm::Channels);
            warming = std::move(w);
        } catch (...) {
            ++next; // it will show its error when it is pressed
        }
    }

    Warming& w = *warming;
    const std::size_t have = w.head->frames();
    const std::size_t want = std::min(ChunkFrames, m_headFrames - have);
    w.head->pcm.resize((have + want) * Pcm::Channels);
    std::size_t got = 0;
    try {
        got = w.decoder->read(w.head->pcm.data() + have * Pcm::Channels, want);
    } catch (...) {
        warming.reset();
        ++next;
        return true;
    }
    w.head->pcm.resize((have + got) * Pcm::Channels);
    if (got < want || w.head->frames() >= m_headFrames) {
        w.head->complete = got < want;
        w.head->pcm.shrink_to_fit();
        if (w.head->frames() > 0)
            m_cache.insert(w.path, std::move(w.head));
        warming.reset();
        ++next;
    }
    return true;
}
