// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

/// A WebSocket as bytes on the wire, for tests and benchmarks that speak it over a plain socket.

/// The upgrade request a page on `host` ("127.0.0.1:8020") sends for the board's socket.
inline QByteArray webSocketUpgrade(const QByteArray& host, const QByteArray& cookie = {})
{
    return "GET /ws HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
           "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
           (cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n") + "\r\n";
}

/// One whole text frame (payloads under 126 bytes), masked as a browser sends it or not.
inline QByteArray webSocketFrame(const QByteArray& text, bool masked = true)
{
    QByteArray frame;
    frame.append(char(0x81));
    frame.append(char((masked ? 0x80 : 0) | (text.size() & 0x7F)));
    if (!masked)
        return frame + text;
    const char key[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(key, 4);
    for (qsizetype i = 0; i < text.size(); ++i)
        frame.append(char(text[i] ^ key[i % 4]));
    return frame;
}
