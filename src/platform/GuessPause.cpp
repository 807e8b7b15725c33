// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuessPause.h"

#include <algorithm>

namespace {
/// Wrong tries kept: enough to reach MaxMs; more would not make the pause longer.
constexpr int KeptTries = GuessPause::FreeTries + static_cast<int>(GuessPause::MaxMs / GuessPause::StepMs);
} // namespace

qint64 GuessPause::pausedFor(const QByteArray& address, qint64 now) const
{
    const auto it = m_lastWrong.constFind(address);
    if (it == m_lastWrong.cend() || now - *it >= RememberMs)
        return 0;
    return std::max<qint64>(0, std::max(*it + AddressPauseMs, m_allUntil) - now);
}

void GuessPause::wrong(const QByteArray& address, qint64 now)
{
    m_lastWrong.removeIf([now](const auto& entry) { return now - entry.value() >= RememberMs; });
    if (m_lastWrong.size() >= MaxAddresses && !m_lastWrong.contains(address)) {
        const auto oldest = std::min_element(m_lastWrong.begin(), m_lastWrong.end());
        m_lastWrong.erase(oldest);
    }
    m_lastWrong.insert(address, now);

    m_recent.removeIf([now](qint64 at) { return now - at >= WindowMs; });
    if (m_recent.size() >= KeptTries)
        m_recent.removeFirst();
    m_recent << now;
    const auto over = static_cast<qint64>(m_recent.size()) - FreeTries;
    if (over > 0)
        m_allUntil = std::max(m_allUntil, now + std::min(MaxMs, StepMs * over));
}

void GuessPause::clear()
{
    m_lastWrong.clear();
    m_recent.clear();
    m_allUntil = 0;
}
