// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ansi.h"

namespace {
// 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined (kept as C1 controls).
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
} // namespace

QString Ansi::toUnicode(const char* bytes, qsizetype length)
{
    QString out;
    out.reserve(length);
    for (qsizetype i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0)
            out += QChar(kHigh[b - 0x80]);
        else
            out += QChar(static_cast<char16_t>(b));
    }
    return out;
}

QByteArray Ansi::fromUnicode(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        char byte = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            byte = static_cast<char>(u);
        } else if (u >= 0x80 && u <= 0x9F) {
            if (kHigh[u - 0x80] == 0)
                byte = static_cast<char>(u);
        } else {
            for (int i = 0; i < 32; ++i) {
                if (kHigh[i] == u) {
                    byte = static_cast<char>(0x80 + i);
                    break;
                }
            }
        }
        out += byte;
    }
    return out;
}

bool Ansi::holds(const QString& text)
{
    const QByteArray bytes = fromUnicode(text);
    return toUnicode(bytes.constData(), bytes.size()) == text;
}
