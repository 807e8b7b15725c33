// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>
#include <QString>

/// The pictures the program carries in its resources.
namespace Pictures {
/// The PNG picture at `path`, read as PNG at once. A reader left to find out what a picture
/// is asks every picture format plugin first, which loads them all (and the SVG library with
/// them): a noticeable part of the start. A null pixmap when it cannot be read.
[[nodiscard]] QPixmap png(const QString& path);
} // namespace Pictures
