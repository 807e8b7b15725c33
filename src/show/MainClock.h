// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <deque>

/// Turns the times a main board stamps on its states into a backup board's own. Each state is
/// stamped when the main took it; the backup notes when it arrived. The least of those gaps
/// over the last few seconds is the two clocks' difference plus the link's shortest delay, so a
/// state held up on the link (a lost packet sent again) is known for the old one it is, rather
/// than taken as fresh. Half the shortest round trip of the same seconds stands for the delay.
class MainClock {
public:
    /// How long a gap or a round trip counts towards the least.
    static constexpr qint64 WindowMs = 10000;

    /// A round trip of `ms` measured at `nowMs`.
    void roundTrip(qint64 ms, qint64 nowMs);
    /// When a state the main stamped `mainMs` was taken, on this board's clock, given that it
    /// arrived at `arrivedMs`. Never later than its arrival.
    [[nodiscard]] qint64 taken(qint64 mainMs, qint64 arrivedMs);
    /// Half the shortest round trip of the window: the link's delay one way.
    [[nodiscard]] qint64 delayMs() const;
    void reset();

private:
    struct Sample {
        qint64 at;
        qint64 value;
    };
    /// Keeps the least of the window at the front: a sample that can never be the least again
    /// (an older one not less than a newer one) is dropped as the newer one comes.
    static void add(std::deque<Sample>& samples, Sample sample);
    static void expire(std::deque<Sample>& samples, qint64 nowMs);

    std::deque<Sample> m_gaps;
    std::deque<Sample> m_trips;
};
