// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>
#include <QString>

/// The pictures the program carries in its resources.
namespace Pictures {

/// The PNG picture at `path`, read as PNG at once. A reader left to find out what a picture
/// is asks every picture format plugin first, which loads them all (and the SVG library with
/// them). A null pixmap when it cannot be read.
[[nodiscard]] QPixmap png(const QString& path);

/// A picture drawn at build time (":/<room>/<name>.pixels"): "SXPX", its width and height as
/// 32-bit little-endian numbers, then its pixels, premultiplied RGBA row by row. Read without
/// any decoding and without a look at the picture format plugins, for what the window shows at
/// its start. At twice the density when the name has "@2x."; a null pixmap when the file is
/// missing or its size does not match its pixels.
[[nodiscard]] QPixmap drawn(const QString& path);

} // namespace Pictures
