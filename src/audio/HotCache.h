// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

/// Identifies one version of a file: a head decoded from an older version is not used.
struct FileStamp {
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;
    [[nodiscard]] static FileStamp of(const QString& path);
    [[nodiscard]] bool valid() const { return size >= 0; }
    bool operator==(const FileStamp&) const = default;
};

/// The first seconds of one song, decoded ahead.
struct HotHead {
    std::vector<std::int16_t> pcm;
    double duration = 0.0;
    /// The whole song fits in `pcm`: nothing is left to decode behind it.
    bool complete = false;
    FileStamp stamp;
    [[nodiscard]] std::size_t frames() const;
    [[nodiscard]] std::size_t bytes() const;
};

/// Decoded heads of songs, least recently used dropped first, never more than a byte budget.
/// Used from the GUI thread and the decoding thread.
class HotCache {
public:
    explicit HotCache(std::size_t budgetBytes);

    /// The head of `path` when it was decoded from the file as it is now.
    [[nodiscard]] std::shared_ptr<const HotHead> find(const QString& path);
    /// Stores a head, dropping the least recently used ones as needed; a head larger than
    /// the whole budget is not kept. Returns whether it was kept.
    bool insert(const QString& path, std::shared_ptr<const HotHead> head);
    /// Whether `bytes` more fit when only heads of paths outside `keep` may be dropped.
    [[nodiscard]] bool fits(std::size_t bytes, const QSet<QString>& keep) const;

    [[nodiscard]] std::size_t bytes() const;
    [[nodiscard]] std::size_t budget() const { return m_budget; }
    [[nodiscard]] std::size_t count() const;

private:
    using Lru = std::list<QString>; // most recent first

    struct Entry {
        std::shared_ptr<const HotHead> head;
        Lru::iterator use;
    };

    void eraseLocked(const QString& path);

    const std::size_t m_budget;
    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
    Lru m_lru;
    std::size_t m_bytes = 0;
};
