// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiRemote.h"

#include "platform/Guard.h"

#include <QDeadlineTimer>

#include <QMetaObject>
#include <algorithm>

namespace {
qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}
} // namespace

MidiRemote::MidiRemote(Board& board, QObject* parent)
    : QObject(parent)
    , m_board(board)
{
}

void MidiRemote::post(int port, const unsigned char* data, std::size_t size)
{
    {
        QMutexLocker locker(&m_lock);
        if (m_inbox.size() >= InboxSize) {
            ++m_overflow;
            return;
        }
        m_inbox.append(
            {port, nowMs(), QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))});
    }
    if (!m_drainPending.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { guard([this] { drain(); }); }, Qt::QueuedConnection);
}

void MidiRemote::drain()
{
    m_drainPending = false;
    QList<Posted> posted;
    {
        QMutexLocker locker(&m_lock);
        posted.swap(m_inbox);
    }
    m_counters.dropped += m_overflow.exchange(0);
    const qint64 now = nowMs();
    QList<MidiMessageId> presses;
    QList<std::pair<MidiMessageId, bool>> events; // in order; true: a release
    QList<std::pair<MidiMessageId, int>> values;  // each control's last value this turn
    for (const Posted& p : posted) {
        // Parsed even when stale: the control values and running status must stay true.
        const bool stale = now - p.at > StaleMs;
        m_parsers[p.port].feed(
            reinterpret_cast<const unsigned char*>(p.bytes.constData()),
            static_cast<std::size_t>(p.bytes.size()),
            [&](const MidiMessageId& m) {
                if (stale || presses.contains(m) || presses.size() >= PressesPerTurn) {
                    ++m_counters.dropped;
                } else {
                    presses << m;
                    events.append({m, false});
                }
            },
            [&](const MidiMessageId& m) {
                events.append({m, true});
            },
            [&](const MidiMessageId& m, int value) {
                const auto same =
                    std::find_if(values.begin(), values.end(), [&m](const auto& v) { return v.first == m; });
                if (same != values.end())
                    same->second = value;
                else if (!stale)
                    values.append({m, value});
            });
    }
    for (const auto& [m, release] : events) {
        if (release)
            actRelease(m);
        else
            act(m);
    }
    for (const auto& [m, value] : values)
        actValue(m, value);
}

double MidiRemote::masterDb(int value)
{
    constexpr double FloorDb = -60.0;
    return FloorDb - FloorDb * std::clamp(value, 0, 127) / 127.0;
}

void MidiRemote::actValue(const MidiMessageId& message, int value)
{
    if (m_learner || (m_channel != 0 && message.channel != m_channel))
        return;
    const std::optional<MidiTarget> target = m_assignments.targetOf(message);
    if (target && *target == MidiTarget(MidiCommand::Master))
        m_board.setMasterLevel(masterDb(value));
}

void MidiRemote::act(const MidiMessageId& message)
{
    if (m_channel != 0 && message.channel != m_channel)
        return; // the operator narrowed the input to another channel
    if (m_learner) {
        const auto learner = std::exchange(m_learner, nullptr);
        learner(message);
        return;
    }
    const std::optional<MidiTarget> target = m_assignments.targetOf(message);
    if (!target) {
        ++m_counters.unassigned;
        return;
    }
    ++m_counters.presses;
    if (const auto* slot = std::get_if<MidiSlot>(&*target)) {
        if (slot->queue)
            m_board.queue(slot->sheet, slot->slot, PressedBy::Midi);
        else
            m_board.press(slot->sheet, slot->slot, PressedBy::Midi);
        return;
    }
    switch (std::get<MidiCommand>(*target)) {
    case MidiCommand::Play:
        m_board.play();
        break;
    case MidiCommand::Stop:
        m_board.stopSong();
        break;
    case MidiCommand::StopAll:
        m_board.stopAll();
        break;
    case MidiCommand::Pause:
        m_board.pause();
        break;
    case MidiCommand::Fade:
        m_board.fade(0);
        break;
    case MidiCommand::NextSheet:
        m_board.showSheet((m_board.shownSheet() + 1) % Board::Sheets);
        break;
    case MidiCommand::PrevSheet:
        m_board.showSheet((m_board.shownSheet() + Board::Sheets - 1) % Board::Sheets);
        break;
    case MidiCommand::FadeAll:
        m_board.fadeAll(0);
        break;
    case MidiCommand::Master:
        break; // its value sets the level, as it moves
    }
}

void MidiRemote::actRelease(const MidiMessageId& message)
{
    if (m_learner)
        return; // a learner takes presses only
    const std::optional<MidiTarget> target = m_assignments.targetOf(message);
    if (!target)
        return;
    if (const auto* slot = std::get_if<MidiSlot>(&*target); slot && !slot->queue)
        m_board.release(slot->sheet, slot->slot, PressedBy::Midi);
}
