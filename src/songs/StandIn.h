// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The nearest text a song record can hold (Windows-1252, at most `capacity` characters) of
/// any text: accents the record cannot hold dropped ("Dvořák" is "Dvorák"), Cyrillic, Greek and Arabic
/// letters spelt in Latin ones ("Аплодисменты" is "Aplodismenty"), any other character that has no such
/// spelling written as its code in braces ("拍手" is "{62CD}{624B}"), never as "?". A text the record holds
/// as it is comes back unchanged; a longer one is cut before the first piece that does not fit whole.
[[nodiscard]] QString standIn(const QString& text, int capacity);

/// `text` cut to at most `length` characters without splitting one written as two halves.
[[nodiscard]] QString cutText(const QString& text, qsizetype length);
