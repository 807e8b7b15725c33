// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiParser.h"

namespace {
/// Data bytes a channel or system common status takes; -1 for status bytes that carry none we read.
int dataBytes(unsigned char status)
{
    switch (status & 0xF0) {
    case 0x80:
    case 0x90:
    case 0xA0:
    case 0xB0:
    case 0xE0:
        return 2;
    case 0xC0:
    case 0xD0:
        return 1;
    default:
        break;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    default:
        return 0;
    }
}
} // namespace

void MidiParser::feed(const unsigned char* data, std::size_t size, const Press& press, const Press& release,
                      const Value& value)
{
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = data[i];
        if (byte >= 0xF8)
            continue; // real time: between any bytes, changes nothing
        if (byte & 0x80) {
            m_have = 0;
            m_inSysEx = byte == 0xF0;
            // System messages cancel running status; channel messages set it.
            m_status = byte < 0xF0 ? byte : (dataBytes(byte) > 0 ? byte : 0);
            continue;
        }
        if (m_inSysEx || m_status == 0)
            continue; // inside SysEx, or data with no status to belong to
        m_data[m_have++] = byte;
        if (m_have == dataBytes(m_status)) {
            complete(press, release, value);
            m_have = 0;
            if (m_status >= 0xF0)
                m_status = 0; // system common has no running status
        }
    }
}

void MidiParser::complete(const Press& press, const Press& release, const Value& value)
{
    const int type = m_status & 0xF0;
    const int channel = (m_status & 0x0F) + 1;
    if (type == 0x90 && m_data[1] > 0) {
        press({MidiMessageId::Kind::Note, channel, m_data[0]});
    } else if (type == 0x80 || type == 0x90) {
        if (release)
            release({MidiMessageId::Kind::Note, channel, m_data[0]});
    } else if (type == 0xB0) {
        unsigned char& last = m_control[channel - 1][m_data[0]];
        const bool rising = last < 64 && m_data[1] >= 64;
        const bool falling = last >= 64 && m_data[1] < 64;
        last = m_data[1];
        if (value)
            value({MidiMessageId::Kind::Control, channel, m_data[0]}, m_data[1]);
        if (rising)
            press({MidiMessageId::Kind::Control, channel, m_data[0]});
        else if (falling && release)
            release({MidiMessageId::Kind::Control, channel, m_data[0]});
    }
}
