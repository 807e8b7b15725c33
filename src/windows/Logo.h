// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>
#include <QSize>

/// The product logo shown by the About box and the splash window.
namespace Logo {
/// The size the logo is designed at.
inline constexpr QSize size{161, 123};
/// The logo rendered at its design size (sharp on high-density screens too).
[[nodiscard]] QPixmap pixmap();
} // namespace Logo
