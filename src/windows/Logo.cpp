// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logo.h"

#include <QGuiApplication>

QPixmap Logo::pixmap()
{
    // Drawn at build time, once at its size and once at twice it: the SVG renderer is never
    // loaded at the start.
    static const QPixmap drawn = [] {
        const bool dense = qGuiApp && qGuiApp->devicePixelRatio() > 1.0;
        QPixmap out(dense ? QStringLiteral(":/windows/logo@2x.png") : QStringLiteral(":/windows/logo.png"));
        if (dense)
            out.setDevicePixelRatio(2.0);
        return out;
    }();
    return drawn;
}
