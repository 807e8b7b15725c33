// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

/// Follows the frames a page sends, piece by piece as QWebSocket reads them (two header bytes,
/// the longer length, the mask, the whole payload), to catch the one thing QWebSocket lets
/// through: a frame from the browser without a mask, on which a server must close the connection.
class ClientFrames {
public:
    /// Frames longer than this the reader refuses itself, closing the socket.
    explicit ClientFrames(quint64 maxFrameBytes)
        : m_maxFrameBytes(maxFrameBytes)
    {
    }

    /// Walks `buffered`, what the socket holds from where the reader stands, over every piece
    /// the reader takes from it next. False at a frame without a mask.
    [[nodiscard]] bool follow(QByteArrayView buffered);

private:
    enum class Next { Header, Length16, Length64, Mask, Payload };

    quint64 m_maxFrameBytes;
    Next m_next = Next::Header;
    quint64 m_length = 0;
    bool m_lost = false; ///< past a frame the reader refuses: it has closed the socket
};
