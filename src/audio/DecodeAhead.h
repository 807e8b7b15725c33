// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class AudioDecoder;
class HotCache;
class StreamingSource;

/// The player's decoding thread: it keeps the ring of every playing song filled ahead of the
/// output, and in its spare time decodes the heads of the songs on the hot list into the cache.
/// Playing songs always come first; warming goes in small steps between them.
class DecodeAhead {
public:
    /// `headFrames`: how much of each hot song is decoded ahead.
    DecodeAhead(HotCache& cache, std::size_t headFrames);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    /// Feeds `source` from `decoder`; without a decoder, opens `path` and skips the first
    /// `skipFrames` frames, which the source already holds.
    void feed(std::shared_ptr<StreamingSource> source, std::unique_ptr<AudioDecoder> decoder,
              const QString& path, std::int64_t skipFrames);
    /// Replaces the songs to warm, in order of preference.
    void setHotList(const QStringList& paths);
    /// Waits up to `msecs` until every song of the hot list that fits the budget is warm.
    bool waitWarm(int msecs);

private:
    struct Job;
    struct Warming;
    void run();
    void feedAll(std::deque<Job>& jobs);
    bool warmStep(std::unique_ptr<Warming>& warming, const QStringList& list, qsizetype& next);

    HotCache& m_cache;
    const std::size_t m_headFrames;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_warmed;
    std::deque<Job> m_incoming;
    QStringList m_hotList;
    bool m_hotListChanged = false;
    bool m_warm = true;
    bool m_quit = false;
    bool m_realtime = false; // the thread's own
    std::thread m_thread;
};
