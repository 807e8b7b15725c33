// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpRequest.h"

namespace {

bool isToken(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool allToken(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s)
        if (!isToken(c))
            return false;
    return true;
}

/// Visible ASCII, space and tab: what a header value may hold here.
bool plainValue(QByteArrayView s)
{
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u != '\t' && (u < 0x20 || u == 0x7f))
            return false;
    }
    return true;
}

bool hasToken(const QByteArray& list, QByteArrayView token)
{
    for (const QByteArray& part : list.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

HttpRequest::Parse HttpRequest::parse(const QByteArray& bytes, HttpRequest& out)
{
    out = HttpRequest();
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return bytes.size() >= MaxHead ? Parse::TooLarge : Parse::Incomplete;
    if (end + 4 > MaxHead)
        return Parse::TooLarge;

    const QList<QByteArray> lines = bytes.left(end).split('\n');
    if (lines.size() - 1 > MaxHeaders)
        return Parse::TooLarge;
    for (const QByteArray& line : lines)
        if (!line.endsWith('\r') && &line != &lines.last())
            return Parse::Malformed;

    const QList<QByteArray> first = lines.first().chopped(lines.size() > 1 ? 1 : 0).split(' ');
    if (first.size() != 3 || !allToken(first[0]) || !first[1].startsWith('/') || !plainValue(first[1]) ||
        (first[2] != "HTTP/1.1" && first[2] != "HTTP/1.0"))
        return Parse::Malformed;
    out.method = first[0];
    out.target = first[1];

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = i + 1 < lines.size() ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !allToken(QByteArrayView(line).first(colon)))
            return Parse::Malformed;
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!plainValue(value))
            return Parse::Malformed;
        out.headers.append({line.left(colon).toLower(), value});
    }

    if (!out.header("transfer-encoding").isEmpty())
        return Parse::Malformed;
    qsizetype length = 0;
    const QByteArray lengthText = out.header("content-length");
    if (!lengthText.isEmpty()) {
        bool ok = false;
        length = lengthText.toLongLong(&ok);
        if (!ok || length < 0 || lengthText.startsWith('+') || lengthText.startsWith('-'))
            return Parse::Malformed;
        if (length > MaxBody)
            return Parse::TooLarge;
    }
    const qsizetype bodyAt = end + 4;
    if (bytes.size() - bodyAt < length)
        return Parse::Incomplete;
    out.body = bytes.mid(bodyAt, length);
    out.consumed = bodyAt + length;
    return Parse::Done;
}

QByteArray HttpRequest::header(const QByteArray& name) const
{
    for (const auto& [n, v] : headers)
        if (n == name)
            return v;
    return {};
}

QByteArray HttpRequest::path() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QByteArray HttpRequest::cookie(const QByteArray& name) const
{
    for (const auto& [n, v] : headers) {
        if (n != "cookie")
            continue;
        for (const QByteArray& part : v.split(';')) {
            const QByteArray p = part.trimmed();
            if (p.size() > name.size() && p.startsWith(name) && p[name.size()] == '=')
                return p.mid(name.size() + 1);
        }
    }
    return {};
}

bool HttpRequest::wantsWebSocket() const
{
    return method == "GET" && hasToken(header("connection"), "upgrade") &&
           header("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}
