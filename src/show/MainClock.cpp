// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainClock.h"

#include <algorithm>

void MainClock::add(std::deque<Sample>& samples, Sample sample)
{
    while (!samples.empty() && samples.back().value >= sample.value)
        samples.pop_back();
    samples.push_back(sample);
}

void MainClock::expire(std::deque<Sample>& samples, qint64 nowMs)
{
    // The newest always stays: a link that went quiet still has a last word on its delay.
    while (samples.size() > 1 && samples.front().at < nowMs - WindowMs)
        samples.pop_front();
}

void MainClock::roundTrip(qint64 ms, qint64 nowMs)
{
    add(m_trips, {nowMs, std::max<qint64>(0, ms)});
    expire(m_trips, nowMs);
}

qint64 MainClock::delayMs() const
{
    return m_trips.empty() ? 0 : m_trips.front().value / 2;
}

qint64 MainClock::taken(qint64 mainMs, qint64 arrivedMs)
{
    expire(m_trips, arrivedMs);
    add(m_gaps, {arrivedMs, arrivedMs - mainMs});
    expire(m_gaps, arrivedMs);
    return std::min(arrivedMs, mainMs + m_gaps.front().value - delayMs());
}

void MainClock::reset()
{
    m_gaps.clear();
    m_trips.clear();
}
