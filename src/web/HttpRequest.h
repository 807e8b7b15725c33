// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

/// One HTTP/1.1 request as the web remote reads it: small, with bounded headers and body, and
/// nothing it does not need (no chunked bodies, no continuation lines).
struct HttpRequest {
    static constexpr qsizetype MaxHead = 8192; ///< request line and headers, blank line included
    static constexpr int MaxHeaders = 40;
    static constexpr qsizetype MaxBody = 1024; ///< the passcode form is all that has a body

    enum class Parse {
        Incomplete, ///< more bytes are needed
        Done,       ///< a whole request; `consumed` bytes make it up
        Malformed,  ///< no HTTP as this server reads it
        TooLarge,   ///< head or body over the bounds
    };

    QByteArray method;
    QByteArray target;                            ///< the path, query included
    QList<QPair<QByteArray, QByteArray>> headers; ///< names in lower case
    QByteArray body;
    qsizetype consumed = 0;

    /// Reads a request from the start of `bytes`.
    [[nodiscard]] static Parse parse(const QByteArray& bytes, HttpRequest& out);

    /// The value of the first header called `name` (lower case); empty when absent.
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
    /// The path without its query.
    [[nodiscard]] QByteArray path() const;
    /// The value of cookie `name` in the Cookie header; empty when absent.
    [[nodiscard]] QByteArray cookie(const QByteArray& name) const;
    /// Whether the request asks for a WebSocket.
    [[nodiscard]] bool wantsWebSocket() const;
};
