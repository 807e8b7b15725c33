// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logo.h"

#include <QPainter>
#include <QSvgRenderer>

QPixmap Logo::pixmap()
{
    // Drawn once, by the renderer itself: an icon would look for an icon engine among the
    // plugins first, which costs the splash window a noticeable part of the start.
    static const QPixmap drawn = [] {
        QPixmap out(size);
        out.fill(Qt::transparent);
        QSvgRenderer renderer(QStringLiteral(":/windows/logo.svg"));
        QPainter painter(&out);
        const QSizeF fitted = renderer.defaultSize().scaled(size, Qt::KeepAspectRatio);
        renderer.render(&painter, QRectF(QPointF((size.width() - fitted.width()) / 2,
                                                 (size.height() - fitted.height()) / 2),
                                         fitted));
        return out;
    }();
    return drawn;
}
