// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logo.h"

#include <QIcon>

QPixmap Logo::pixmap()
{
    return QIcon(QStringLiteral(":/windows/logo.svg")).pixmap(size);
}
