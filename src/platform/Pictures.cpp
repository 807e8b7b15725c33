// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pictures.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

namespace {
void setDensity(QPixmap& picture, const QString& path)
{
    if (path.contains(QLatin1String("@2x.")))
        picture.setDevicePixelRatio(2.0);
}
} // namespace

QPixmap Pictures::png(const QString& path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    QPixmap picture = QPixmap::fromImage(reader.read());
    setDensity(picture, path);
    return picture;
}

QPixmap Pictures::drawn(const QString& path)
{
    constexpr qsizetype HeaderSize = 12;
    constexpr quint32 LargestSide = 4096;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    if (data.size() < HeaderSize || !data.startsWith("SXPX"))
        return {};
    const quint32 width = qFromLittleEndian<quint32>(data.constData() + 4);
    const quint32 height = qFromLittleEndian<quint32>(data.constData() + 8);
    if (width == 0 || height == 0 || width > LargestSide || height > LargestSide ||
        data.size() - HeaderSize != static_cast<qsizetype>(width) * height * 4)
        return {};
    const QImage pixels(reinterpret_cast<const uchar*>(data.constData() + HeaderSize),
                        static_cast<int>(width), static_cast<int>(height), static_cast<qsizetype>(width) * 4,
                        QImage::Format_RGBA8888_Premultiplied);
    QPixmap picture = QPixmap::fromImage(pixels); // a copy: `data` goes
    setDensity(picture, path);
    return picture;
}
