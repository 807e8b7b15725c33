// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <functional>

/// A MIDI message that can be assigned: a note or a control change on a channel.
struct MidiMessageId {
    enum class Kind : quint8 { Note, Control };
    Kind kind = Kind::Note;
    int channel = 1; ///< 1..16
    int number = 0;  ///< 0..127

    friend bool operator==(const MidiMessageId&, const MidiMessageId&) = default;
};

/// Reads a MIDI byte stream from one port and reports the presses in it: a note-on of any
/// velocity above 0, and a control change that rises to 64 or more. Running status is
/// followed, SysEx is skipped to its end, real-time bytes are ignored where they fall, and
/// everything else does nothing, except that a note-off (or note-on velocity 0) and a control
/// change that falls below 64 are reported as releases where asked for. Every control change
/// is also reported with its value where asked for, as a fader's moves are.
class MidiParser {
public:
    using Press = std::function<void(const MidiMessageId&)>;
    using Value = std::function<void(const MidiMessageId&, int value)>;

    void feed(const unsigned char* data, std::size_t size, const Press& press, const Press& release = {},
              const Value& value = {});

private:
    void complete(const Press& press, const Press& release, const Value& value);

    unsigned char m_status = 0; ///< running status; 0: none
    unsigned char m_data[2] = {0, 0};
    int m_have = 0;
    bool m_inSysEx = false;
    unsigned char m_control[16][128] = {}; ///< last value of each control change
};
