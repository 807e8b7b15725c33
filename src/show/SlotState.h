// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// show/: the board's commands and state as one interface every input uses (mouse, keys, and
// remote controls to come), and the rules for what a slot shows. No widgets; uses only Qt.

#include <QColor>
#include <QString>
#include <QStringList>

/// What a sound button shows of its slot: its caption's colour follows the queue.
enum class SlotState : quint8 {
    Empty,   ///< no song; "<empty>" in black
    Filled,  ///< a song that is not queued; black
    Playing, ///< the song that plays; green
    Next,    ///< the song after it; yellow
    Queued,  ///< queued further on, or queued while nothing plays; red
};

/// The queue as the colours read it.
struct QueueView {
    QStringList queue;         ///< the play queue, its head first
    bool playing = false;      ///< a song plays (not paused, not stopped)
    bool headDetached = false; ///< the playing song was taken out of the queue and plays on
    QString playingPath;       ///< the song that plays
};

/// The state of a filled slot holding `file` (paths compare without regard to case). A playing
/// song taken out of the queue is still Playing, and the queue's head is then Next.
[[nodiscard]] SlotState slotStateOf(const QString& file, const QueueView& view);

/// The caption colour of a slot in `state`.
[[nodiscard]] QColor captionColour(SlotState state);
