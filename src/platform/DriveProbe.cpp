// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveProbe.h"

#include "Guard.h"

#include <QFile>
#include <QTimer>

#include <atomic>
#include <thread>

#include <sys/stat.h>

namespace {
constexpr int PollMs = 20;
} // namespace

struct DriveProbe::Shared {
    std::atomic<bool> answered{false};
};

DriveProbe::DriveProbe(QString path, QObject* parent, std::chrono::milliseconds slowAfter)
    : QObject(parent)
    , m_path(std::move(path))
    , m_slowAfter(slowAfter)
    , m_shared(std::make_shared<Shared>())
{
}

DriveProbe::~DriveProbe() = default;

void DriveProbe::start()
{
    std::thread([shared = m_shared, path = QFile::encodeName(m_path)] {
        struct stat st {};
        ::stat(path.constData(), &st); // returns, one way or the other, once the drive answers
        shared->answered = true;
    }).detach();
    m_clock.start();
    m_poll = new QTimer(this);
    m_poll->setInterval(PollMs);
    connectGuarded(m_poll, &QTimer::timeout, this, [this] { poll(); });
    m_poll->start();
}

void DriveProbe::poll()
{
    if (m_shared->answered) {
        m_poll->stop();
        Q_EMIT answered();
        return;
    }
    if (!m_slow && m_clock.elapsed() >= m_slowAfter.count()) {
        m_slow = true;
        Q_EMIT slow();
    }
}
