// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongFileLoad.h"

#include "SongStruc.h"
#include "platform/Guard.h"

#include <QTimer>

#include <mutex>
#include <optional>
#include <thread>

namespace {
constexpr int PollMs = 20;
} // namespace

struct SongFileLoad::Shared {
    std::mutex mutex;
    std::optional<TSongInfo::FileContent> content;
};

SongFileLoad::SongFileLoad(TSongInfo& store, QObject* parent, std::chrono::milliseconds slowAfter)
    : QObject(parent)
    , m_store(store)
    , m_slowAfter(slowAfter)
    , m_shared(std::make_shared<Shared>())
{
}

SongFileLoad::~SongFileLoad() = default;

void SongFileLoad::start()
{
    // The thread shares nothing with this object but the result slot: it may outlive it.
    std::thread([shared = m_shared, path = m_store.infoPath()] {
        TSongInfo::FileContent content = TSongInfo::readFile(path);
        const std::lock_guard lock(shared->mutex);
        shared->content = std::move(content);
    }).detach();
    m_clock.start();
    m_poll = new QTimer(this);
    m_poll->setInterval(PollMs);
    connectGuarded(m_poll, &QTimer::timeout, this, [this] { poll(); });
    m_poll->start();
}

void SongFileLoad::poll()
{
    std::optional<TSongInfo::FileContent> content;
    {
        const std::lock_guard lock(m_shared->mutex);
        content.swap(m_shared->content);
    }
    if (!content) {
        if (!m_slow && m_clock.elapsed() >= m_slowAfter.count()) {
            m_slow = true;
            Q_EMIT slow();
        }
        return;
    }
    m_poll->stop();
    // News that arrives by itself never opens a box: a late file's trouble goes with `loaded`.
    const QString problem = m_store.takeFile(*content, !m_slow);
    Q_EMIT loaded(problem);
}
