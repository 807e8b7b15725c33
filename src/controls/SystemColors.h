// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

class QWidget;

/// The system colours the drawn controls and the splash window paint with, all read here
/// from the widget's palette, so that every bevel, face and greyed text on the board agrees.
namespace SystemColors {

/// The lit edge of a raised bevel.
[[nodiscard]] QColor btnHighlight(const QWidget& widget);
/// The shaded edge of a raised bevel.
[[nodiscard]] QColor btnShadow(const QWidget& widget);
/// The face of buttons and panels.
[[nodiscard]] QColor btnFace(const QWidget& widget);
/// Text on buttons; the dark inner edge of a sunken track.
[[nodiscard]] QColor btnText(const QWidget& widget);
/// Text of a disabled control.
[[nodiscard]] QColor grayText(const QWidget& widget);

} // namespace SystemColors
