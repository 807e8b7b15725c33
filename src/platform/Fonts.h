// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

/// The program's typefaces by the names its windows are designed with.
/// "Transistor" is a seven-segment face, "Arial" and "MS Sans Serif" are Liberation
/// Sans, "Tahoma" is Wine's Tahoma (or DejaVu Sans), "Garamond" is EB Garamond.
namespace Fonts {
/// Registers the faces that are not in the system's font configuration. Call once,
/// after the application object exists; later calls do nothing.
void loadProgramFonts();

[[nodiscard]] QFont transistor(int pixelSize, bool bold = false);
[[nodiscard]] QFont arial(int pixelSize);
[[nodiscard]] QFont arialPoints(int pointSize);
[[nodiscard]] QFont msSansSerif(int pixelSize);
[[nodiscard]] QFont tahoma(int pixelSize, bool bold = false);
[[nodiscard]] QFont garamond(int pixelSize, bool bold = false, bool italic = false);
} // namespace Fonts
