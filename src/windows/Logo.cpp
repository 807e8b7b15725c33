// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logo.h"

#include "platform/Pictures.h"

#include <QGuiApplication>

QPixmap Logo::pixmap()
{
    // Drawn at build time, once at its size and once at twice it: the SVG renderer is never
    // loaded at the start.
    static const QPixmap drawn = qGuiApp && qGuiApp->devicePixelRatio() > 1.0
                                     ? Pictures::drawn(QStringLiteral(":/windows/logo@2x.pixels"))
                                     : Pictures::drawn(QStringLiteral(":/windows/logo.pixels"));
    return drawn;
}
