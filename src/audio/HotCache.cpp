// SPDX-License-Identifier: GPL-3.0-or-later
#include "HotCache.h"

#include "AudioOutput.h"

#include <QFile>

#include <sys/stat.h>

FileStamp FileStamp::of(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::size_t HotHead::frames() const
{
    return pcm.size() / Pcm::Channels;
}

std::size_t HotHead::bytes() const
{
    return pcm.size() * sizeof(std::int16_t) + sizeof(HotHead);
}

HotCache::HotCache(std::size_t budgetBytes)
    : m_budget(budgetBytes)
{
}

std::shared_ptr<const HotHead> HotCache::find(const QString& path)
{
    const FileStamp now = FileStamp::of(path);
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(path);
    if (it == m_entries.end())
        return nullptr;
    if (!now.valid() || !(it->head->stamp == now)) {
        eraseLocked(path);
        return nullptr;
    }
    m_lru.splice(m_lru.begin(), m_lru, it->use);
    return it->head;
}

bool HotCache::insert(const QString& path, std::shared_ptr<const HotHead> head)
{
    const std::size_t size = head->bytes();
    std::lock_guard lock(m_mutex);
    eraseLocked(path);
    if (size > m_budget)
        return false;
    while (m_bytes + size > m_budget && !m_lru.empty())
        eraseLocked(QString(m_lru.back()));
    m_lru.push_front(path);
    m_entries.insert(path, Entry{std::move(head), m_lru.begin()});
    m_bytes += size;
    return true;
}

bool HotCache::fits(std::size_t bytes, const QSet<QString>& keep) const
{
    std::lock_guard lock(m_mutex);
    std::size_t kept = 0;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (keep.contains(it.key()))
            kept += it->head->bytes();
    }
    return kept + bytes <= m_budget;
}

std::size_t HotCache::bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

std::size_t HotCache::count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(m_entries.size());
}

void HotCache::eraseLocked(const QString& path)
{
    const auto it = m_entries.find(path);
    if (it == m_entries.end())
        return;
    m_bytes -= it->head->bytes();
    m_lru.erase(it->use);
    m_entries.erase(it);
}
