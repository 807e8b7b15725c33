// SPDX-License-Identifier: GPL-3.0-or-later
#include "PadLights.h"

#include "midi/MidiAssignments.h"
#include "platform/Guard.h"
#include "show/Board.h"

#include <QTimer>

PadLights::PadLights(Board& board, const MidiAssignments& assignments, ControllerProfile profile, Send send,
                     QObject* parent)
    : QObject(parent)
    , m_board(board)
    , m_assignments(assignments)
    , m_profile(std::move(profile))
    , m_send(std::move(send))
{
    connect(&m_board, &Board::slotChanged, this, [this](int sheet, int, SlotState, const QString&) {
        if (sheet == m_board.shownSheet())
            update();
    });
    connect(&m_board, &Board::sheetShown, this, &PadLights::update);
}

PadLights::~PadLights()
{
    guard([this] { dark(); });
}

void PadLights::start()
{
    m_dark = false;
    m_lit.clear();
    if (!m_profile.init.isEmpty())
        m_send(m_profile.init);
    paint();
}

void PadLights::update()
{
    if (m_pending || m_dark)
        return;
    m_pending = true;
    QTimer::singleShot(0, this, [this] { guard([this] { paint(); }); });
}

void PadLights::paint()
{
    m_pending = false;
    if (m_dark)
        return;
    QHash<int, SlotState> want;
    for (const int pad : m_profile.pads)
        want.insert(pad, SlotState::Empty);
    const int sheet = m_board.shownSheet();
    for (const MidiMessageId& message : m_assignments.messages()) {
        if (message.kind != MidiMessageId::Kind::Note || !m_profile.isPad(message.number))
            continue;
        const auto target = m_assignments.targetOf(message);
        if (const auto* slot = target ? std::get_if<MidiSlot>(&*target) : nullptr;
            slot && slot->sheet == sheet)
            want[message.number] = m_board.slotState(sheet, slot->slot);
    }
    for (const int pad : m_profile.pads) {
        const QByteArray message = m_profile.colourMessage(pad, want.value(pad));
        auto lit = m_lit.find(pad);
        if (lit != m_lit.end() && *lit == message)
            continue;
        m_lit.insert(pad, message);
        m_send(message);
    }
}

void PadLights::dark()
{
    if (m_dark)
        return;
    m_dark = true;
    for (const int pad : m_profile.pads)
        m_send(m_profile.colourMessage(pad, SlotState::Empty));
    if (!m_profile.exit.isEmpty())
        m_send(m_profile.exit);
}
