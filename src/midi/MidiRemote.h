// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiAssignments.h"
#include "midi/MidiParser.h"
#include "show/Board.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <functional>
#include <map>

/// What MIDI input did this run.
struct MidiCounters {
    quint64 presses = 0;    ///< presses acted on
    quint64 unassigned = 0; ///< presses of messages nobody assigned
    quint64 dropped = 0;    ///< messages dropped: stale, repeated within one turn, or over the inbox
};

/// MIDI input run as the board's commands: the ports' threads post raw messages, the window's
/// thread reads them at its next turn and runs what they are assigned to, or hands the next
/// press to a learner. A flood never builds a queue: the inbox holds at most InboxSize
/// messages, a message older than StaleMs when read is dropped, and a message repeated within
/// one turn acts once; of a fader's moves in one turn only the last.
class MidiRemote : public QObject {
    Q_OBJECT
public:
    static constexpr int InboxSize = 64;
    static constexpr qint64 StaleMs = 150;
    /// Presses acted on per turn of the event loop, at most.
    static constexpr int PressesPerTurn = 8;

    explicit MidiRemote(Board& board, QObject* parent = nullptr);

    [[nodiscard]] MidiAssignments& assignments() { return m_assignments; }
    [[nodiscard]] const MidiAssignments& assignments() const { return m_assignments; }

    /// Any thread: a message from input port `port` (a number the caller keeps per port).
    void post(int port, const unsigned char* data, std::size_t size);
    /// The window's thread: reads what was posted.
    void drain();
    /// Runs what `message` is assigned to, as a press on the board.
    void act(const MidiMessageId& message);
    /// A pad or key assigned to a slot was let go of: the board's release of that slot.
    void actRelease(const MidiMessageId& message);
    /// A control change's value: a fader assigned to the master level sets it.
    void actValue(const MidiMessageId& message, int value);
    /// A fader's value 0..127 as the master level, -60..0 dB.
    [[nodiscard]] static double masterDb(int value);

    /// Only messages on `channel` (1..16) are acted on or learned; 0: any channel.
    void setInputChannel(int channel) { m_channel = channel; }

    /// The next press goes to `learner` instead of the board, once.
    void learn(std::function<void(const MidiMessageId&)> learner) { m_learner = std::move(learner); }
    void stopLearning() { m_learner = nullptr; }

    [[nodiscard]] const MidiCounters& counters() const { return m_counters; }

private:
    struct Posted {
        int port;
        qint64 at;
        QByteArray bytes;
    };

    Board& m_board;
    MidiAssignments m_assignments;
    std::function<void(const MidiMessageId&)> m_learner;
    MidiCounters m_counters;
    int m_channel = 0;
    std::map<int, MidiParser> m_parsers;
    QMutex m_lock;
    QList<Posted> m_inbox; ///< guarded by m_lock
    std::atomic<bool> m_drainPending{false};
    std::atomic<quint64> m_overflow{0};
};
