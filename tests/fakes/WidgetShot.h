// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QWidget>

/// What `w` paints, as plain 32-bit pixels to compare with qRgb values.
inline QImage shot(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

/// Makes `w` fill its background with `colour`, so that what a child leaves alone shows.
inline void fillWith(QWidget& w, const QColor& colour)
{
    w.setAutoFillBackground(true);
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, colour);
    w.setPalette(pal);
}
