// SPDX-License-Identifier: GPL-3.0-or-later
#include "QrCode.h"

#include <qrencode.h>

#include <memory>

QImage QrCode::image(const QString& text, int scale)
{
    if (text.isEmpty() || scale < 1)
        return {};
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};
    constexpr int Quiet = 4;
    const int side = (code->width + 2 * Quiet) * scale;
    QImage out(side, side, QImage::Format_Mono);
    out.fill(0);
    out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        out.setPixel((x + Quiet) * scale + dx, (y + Quiet) * scale + dy, 1);
    return out;
}
