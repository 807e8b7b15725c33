// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/SlotState.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

/// A controller the board lights, as a data file describes it (JSON):
///   "name": what the operator reads,
///   "match": text the port's name contains (empty: matches no port until the operator sets it),
///   "init": SysEx bytes in hex sent when the port is found ("F0 00 20 29 ... F7"; may be empty),
///   "exit": bytes sent after the pads went dark at exit (may be empty),
///   "channel": 1..16, the channel colours go on,
///   "colours": { "playing", "next", "queued", "filled", "empty" }: each a note-on velocity, or
///              [channel, velocity] where the channel says more (brightness on some),
///   "pads": the pad notes, as ranges "11-18, 21-28".
/// A pad lights with a note-on of its note.
class ControllerProfile {
public:
    struct Colour {
        int channel = 1;
        int velocity = 0;
        friend bool operator==(const Colour&, const Colour&) = default;
    };

    QString name;
    QString match;
    QByteArray init;
    QByteArray exit;
    std::array<Colour, 5> colours{}; ///< by SlotState
    QList<int> pads;

    /// Reads a profile; nothing, with the reason in `why`, when the text is none.
    [[nodiscard]] static std::optional<ControllerProfile> parse(const QByteArray& json,
                                                                QString* why = nullptr);
    /// The profiles in `folders`, later folders replacing profiles of the same name; files
    /// that are no profile are named in `problems`.
    [[nodiscard]] static QList<ControllerProfile> loadAll(const QStringList& folders, QStringList* problems);
    /// The folders profiles come from: the installed ones, then the user's.
    [[nodiscard]] static QStringList folders();

    [[nodiscard]] bool matches(const QString& portName) const
    {
        return !match.isEmpty() && portName.contains(match, Qt::CaseInsensitive);
    }
    [[nodiscard]] bool isPad(int note) const { return pads.contains(note); }
    /// The note-on that shows `state` on pad `note`.
    [[nodiscard]] QByteArray colourMessage(int note, SlotState state) const;
};
