// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiParser.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

class Registry;

/// A slot a MIDI message plays (sheet and slot from 0); `queue`: it queues the song instead,
/// as Shift with a press does.
struct MidiSlot {
    int sheet = 0;
    int slot = 0;
    bool queue = false;
    friend bool operator==(const MidiSlot&, const MidiSlot&) = default;
};

/// The board's commands a MIDI message can run besides the slots. Master is a control change's
/// value, 0..127 from -60 to 0 dB: a fader that sets the master level.
enum class MidiCommand : quint8 { Play, Stop, StopAll, Pause, Fade, NextSheet, PrevSheet, FadeAll, Master };

using MidiTarget = std::variant<MidiSlot, MidiCommand>;

/// The MIDI messages the operator gave to slots and commands, one target per message and one
/// message per target. Kept in the settings subkey "Midi", one value an assignment:
/// `note 1 36 = 0,0`, `cc 1 20 = 0,5`, `note 1 40 = queue 0,5`, `note 1 91 = play` (also stop,
/// stopall, pause, fade, nextsheet, prevsheet, fadeall; `cc 1 7 = master`). A value the board cannot read
/// stays in the store as it is.
class MidiAssignments {
public:
    static inline const QString Subkey = QStringLiteral("Midi");

    /// "note 1 36", "cc 1 20"; and back, or nothing for a name that is none.
    [[nodiscard]] static QString messageText(const MidiMessageId& message);
    [[nodiscard]] static std::optional<MidiMessageId> parseMessage(const QString& text);
    /// "0,5", "queue 0,5", "play"; and back.
    [[nodiscard]] static QString targetText(const MidiTarget& target);
    [[nodiscard]] static std::optional<MidiTarget> parseTarget(const QString& text);
    /// "Note 36, channel 1" as the operator reads it.
    [[nodiscard]] static QString describe(const MidiMessageId& message);

    [[nodiscard]] std::optional<MidiTarget> targetOf(const MidiMessageId& message) const;
    [[nodiscard]] std::optional<MidiMessageId> messageOf(const MidiTarget& target) const;
    [[nodiscard]] QList<MidiMessageId> messages() const;

    /// The message leaves any other target and the target drops its old message.
    void bind(const MidiMessageId& message, const MidiTarget& target);
    /// True when the target had a message.
    bool clear(const MidiTarget& target);
    /// The assignments of two whole sheets change places with their songs.
    void exchangeSheets(int a, int b);

    /// Reads the subkey "Midi" of the open key. Lines it cannot read are listed in `unreadable`.
    void load(Registry& registry);
    /// Rewrites the assignments in subkey "Midi" of the open key, leaving unreadable lines alone.
    void save(Registry& registry) const;
    [[nodiscard]] const QStringList& unreadable() const { return m_unreadable; }

private:
    struct Binding {
        MidiMessageId message;
        MidiTarget target;
    };
    QList<Binding> m_bindings;
    QStringList m_unreadable;
};
