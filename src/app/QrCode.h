// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

/// QR codes of short texts (the web remote's address), for a phone's camera.
namespace QrCode {
/// The code of `text`, `scale` pixels a module with the quiet zone around it; a null image when
/// the text cannot be encoded.
[[nodiscard]] QImage image(const QString& text, int scale);
} // namespace QrCode
