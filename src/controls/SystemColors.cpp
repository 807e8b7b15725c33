// SPDX-License-Identifier: GPL-3.0-or-later
#include "SystemColors.h"

#include <QPalette>
#include <QWidget>

QColor SystemColors::btnHighlight(const QWidget& widget)
{
    return widget.palette().color(QPalette::Active, QPalette::Light);
}

QColor SystemColors::btnShadow(const QWidget& widget)
{
    return widget.palette().color(QPalette::Active, QPalette::Dark);
}

QColor SystemColors::btnFace(const QWidget& widget)
{
    return widget.palette().color(QPalette::Active, QPalette::Button);
}

QColor SystemColors::btnText(const QWidget& widget)
{
    return widget.palette().color(QPalette::Active, QPalette::ButtonText);
}

QColor SystemColors::grayText(const QWidget& widget)
{
    return widget.palette().color(QPalette::Disabled, QPalette::Text);
}
