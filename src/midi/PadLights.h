// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/ControllerProfile.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <functional>

class Board;
class MidiAssignments;

/// The pads of one controller in the board's colours: each pad whose note plays a slot of the
/// shown sheet shows that slot's state, every other pad is off. Changes go out at the next turn
/// of the event loop, only for the pads that changed; showing another sheet repaints them.
class PadLights : public QObject {
    Q_OBJECT
public:
    using Send = std::function<void(const QByteArray&)>;

    PadLights(Board& board, const MidiAssignments& assignments, ControllerProfile profile, Send send,
              QObject* parent = nullptr);
    /// Dark, as at exit.
    ~PadLights() override;

    /// Puts the controller in its programmable mode and lights every pad.
    void start();
    /// The assignments changed: repaint at the next turn.
    void update();
    /// Every pad off, and the controller back as it was found.
    void dark();

    [[nodiscard]] const ControllerProfile& profile() const { return m_profile; }

private:
    void paint();

    Board& m_board;
    const MidiAssignments& m_assignments;
    ControllerProfile m_profile;
    Send m_send;
    QHash<int, QByteArray> m_lit; ///< by pad note: the message it last got
    bool m_pending = false;
    bool m_dark = true; ///< until started, and after dark()
};
