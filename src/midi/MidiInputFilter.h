// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class Registry;

/// The MIDI input the board listens to: one channel or any, one device or any. Kept in the
/// settings subkey "Midi" beside the assignments, as `input channel = any` (or 1..16) and
/// `input device = any` (or a port name, or part of one); names no assignment can have. A
/// value the board cannot read leaves that half at "any" and stays in the store as written.
struct MidiInputFilter {
    static inline const QString ChannelName = QStringLiteral("input channel");
    static inline const QString DeviceName = QStringLiteral("input device");

    int channel = 0; ///< 1..16; 0: any
    QString device;  ///< empty: any

    friend bool operator==(const MidiInputFilter&, const MidiInputFilter&) = default;

    /// Whether a value name of the subkey is one of these settings rather than an assignment.
    [[nodiscard]] static bool isSettingName(const QString& name);
    /// The device a port belongs to: its name without the client and port numbers the ALSA
    /// sequencer appends ("LPMiniMK3 MIDI 20:0" → "LPMiniMK3 MIDI").
    [[nodiscard]] static QString deviceOf(const QString& portName);

    [[nodiscard]] bool acceptsChannel(int midiChannel) const
    {
        return channel == 0 || channel == midiChannel;
    }
    [[nodiscard]] bool acceptsPort(const QString& portName) const;

    /// Reads the settings from the open key's subkey "Midi"; values it cannot read go to `unreadable`.
    void load(Registry& registry, QStringList* unreadable = nullptr);
    /// Writes both settings into the open key's subkey "Midi", leaving every other line alone.
    void save(Registry& registry) const;
};
