// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

class QWidget;

/// Sizes and places windows by their outer edges. The window manager adds its frame
/// only after a window is shown, so these wait for it: once the frame is known the
/// client area shrinks so that the whole window has the given size, and a centred
/// window is centred frame and all. Without a window manager (a bare X server, the
/// offscreen platform) the client area keeps the size.
namespace WindowFrame {

/// The whole window, frame included, is `outer` big once shown.
void setOuterSize(QWidget* window, QSize outer);

/// The whole window, frame included, is centred on its screen's free area.
void centre(QWidget* window);

} // namespace WindowFrame
