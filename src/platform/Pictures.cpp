// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pictures.h"

#include <QImage>
#include <QImageReader>

QPixmap Pictures::png(const QString& path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    QPixmap picture = QPixmap::fromImage(image);
    if (path.contains(QLatin1String("@2x.")))
        picture.setDevicePixelRatio(2.0);
    return picture;
}
