// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientFrames.h"

#include <QtEndian>

bool ClientFrames::follow(QByteArrayView buffered)
{
    const auto* bytes = reinterpret_cast<const uchar*>(buffered.data());
    quint64 at = 0;
    const auto has = [&](quint64 n) { return static_cast<quint64>(buffered.size()) - at >= n; };
    while (!m_lost) {
        switch (m_next) {
        case Next::Header:
            if (!has(2))
                return true;
            if ((bytes[at + 1] & 0x80) == 0)
                return false;
            m_length = bytes[at + 1] & 0x7F;
            m_next = m_length == 126 ? Next::Length16 : m_length == 127 ? Next::Length64 : Next::Mask;
            at += 2;
            break;
        case Next::Length16:
            if (!has(2))
                return true;
            m_length = qFromBigEndian<quint16>(bytes + at);
            m_next = Next::Mask;
            at += 2;
            break;
        case Next::Length64:
            if (!has(8))
                return true;
            m_length = qFromBigEndian<quint64>(bytes + at);
            m_next = Next::Mask;
            at += 8;
            break;
        case Next::Mask:
            if (!has(4))
                return true;
            m_next = Next::Payload;
            at += 4;
            break;
        case Next::Payload:
            if (m_length > m_maxFrameBytes) {
                m_lost = true;
                break;
            }
            if (!has(m_length))
                return true;
            m_next = Next::Header;
            at += m_length;
            break;
        }
    }
    return true;
}
