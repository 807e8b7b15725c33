// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HotCache.h"
#include "LoudnessMeter.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

/// Even levels: every song is measured once (integrated loudness and true peak) on a thread of
/// its own at idle priority, and the measurements are kept in a cache file keyed by path, size and
/// modification time. While it is on, a song starts at the gain that brings it to TargetLufs,
/// never so high that its true peak passes CeilingDbtp; a song not yet measured starts at its own
/// level and is measured meanwhile. Used from one thread (the GUI's).
///
/// The measuring thread runs at idle priority, so on a busy machine it can be held off a core for
/// long while it holds its lock: a press (gainFor) and a new hot list (measureFirst) never wait for
/// that lock. They only try it; when it is taken they use the figures seen last, and what they
/// ask for goes with the next call that gets it.
class SongLevels {
public:
    static constexpr double TargetLufs = -16.0;
    static constexpr double CeilingDbtp = -1.0;
    /// No song is raised by more than this, however quiet (a near-silent take stays near silent).
    static constexpr double MaxBoostDb = 24.0;

    /// `cacheFile`: where the measurements are kept between runs; empty keeps them for the run
    /// only. A cache file that cannot be read or makes no sense is ignored and later replaced.
    explicit SongLevels(const QString& cacheFile);
    ~SongLevels();
    SongLevels(const SongLevels&) = delete;
    SongLevels& operator=(const SongLevels&) = delete;

    /// `$XDG_CACHE_HOME/Sonavex/levels.json` (default `~/.cache/Sonavex/levels.json`).
    [[nodiscard]] static QString defaultCacheFile();
    /// The gain in dB that evens out a song of `loudness`; 0 for a silent one.
    [[nodiscard]] static double gainDb(const Loudness& loudness);

    /// Off, nothing is measured and every song plays at its own level.
    void setEnabled(bool on);
    [[nodiscard]] bool enabled() const;

    /// The measurement of `path` as the file is now; nothing when it is not measured yet.
    [[nodiscard]] std::optional<Loudness> find(const QString& path) const;
    /// The linear gain `path` starts at: 1 while off or while not measured (then it is measured
    /// next, after the songs of measureFirst). Cheap: a look-up and one stat of the file.
    [[nodiscard]] double gainFor(const QString& path);
    /// Songs the operator may press next, measured before any other; replaces the earlier list.
    void measureFirst(const QStringList& paths);
    /// Waits up to `msecs` until nothing is left to measure (and the cache file is written).
    /// Also hands over what gainFor and measureFirst could not.
    bool waitIdle(int msecs);
    /// How many songs this run decoded and measured.
    [[nodiscard]] std::size_t measuredCount() const;
    /// Why the cache file cannot be read or written (the first such reason of the run), empty
    /// while it serves; the measurements then live in memory for the run.
    [[nodiscard]] QString cacheProblem() const;

private:
    friend class TestSongLevels; // holds the lock to show that a press never waits for it

    struct Entry {
        FileStamp stamp;
        Loudness loudness;
    };
    void run();
    bool takeNextLocked(QString& path);
    /// Takes the lock only if it is free: then hands over what waits and refreshes m_seen.
    void tryExchange();
    void exchangeLocked();
    std::optional<Loudness> measure(const QString& path);
    void load();
    bool save();
    void noteCacheProblem(const QString& what, const QString& reason);

    const QString m_cacheFile;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    QHash<QString, Entry> m_entries;
    QHash<QString, FileStamp> m_failed;
    QStringList m_hot;
    std::deque<QString> m_first;
    std::deque<QString> m_asked;
    bool m_dirty = false;
    bool m_busy = false;
    std::size_t m_measured = 0;
    mutable std::mutex m_problemMutex; // not m_mutex: asking must not wait for a measurement
    QString m_cacheProblem;
    // The calling thread's own: the figures it saw last (sharing the table, not copying it),
    // and what it asked for while the lock was taken.
    QHash<QString, Entry> m_seen;
    std::deque<QString> m_pendingAsked;
    std::optional<QStringList> m_pendingHot;
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};
