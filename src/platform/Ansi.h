// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// Windows-1252, one byte per character: the text encoding of stored song data,
/// so files move between systems unchanged.
namespace Ansi {
[[nodiscard]] QString toUnicode(const char* bytes, qsizetype length);
/// Characters with no Windows-1252 byte become "?".
[[nodiscard]] QByteArray fromUnicode(const QString& text);
/// Every character of `text` has a Windows-1252 byte, so it is stored unchanged.
[[nodiscard]] bool holds(const QString& text);
} // namespace Ansi
