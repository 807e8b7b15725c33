// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

#include <condition_variable>
#include <mutex>
#include <thread>

/// The program's typefaces by the names its windows are designed with.
/// "Transistor" is a seven-segment face, "Arial" and "MS Sans Serif" are Liberation
/// Sans, "Tahoma" is Wine's Tahoma (or DejaVu Sans), "Garamond" is EB Garamond.
namespace Fonts {
/// Reads the system's font configuration on a thread of its own while the program starts and
/// connects to the display, and then, once the application object exists, lists the fonts for
/// the toolkit's font database while the show and the splash are made: done in line, both are a
/// good part of the start of a window with text. Make it first thing, call applicationMade()
/// once the application object is made, and wait() before the window is made and in any case
/// before the application object goes. Without applicationMade(), the fonts are left for the
/// toolkit to list.
class SystemFontsReader {
public:
    SystemFontsReader();
    ~SystemFontsReader();
    SystemFontsReader(const SystemFontsReader&) = delete;
    SystemFontsReader& operator=(const SystemFontsReader&) = delete;

    void applicationMade();
    void wait();

private:
    enum class Next { Hold, List, Leave };
    void tell(Next next);

    std::mutex m_mutex;
    std::condition_variable m_told;
    Next m_next = Next::Hold;
    std::thread m_thread;
};

/// Registers the faces that are not in the system's font configuration. Call once,
/// after the application object exists; later calls do nothing. The faces that need it
/// (tahoma()) call it themselves.
void loadProgramFonts();

[[nodiscard]] QFont transistor(int pixelSize, bool bold = false);
[[nodiscard]] QFont arial(int pixelSize);
[[nodiscard]] QFont arialPoints(int pointSize);
[[nodiscard]] QFont msSansSerif(int pixelSize);
[[nodiscard]] QFont tahoma(int pixelSize, bool bold = false);
[[nodiscard]] QFont garamond(int pixelSize, bool bold = false, bool italic = false);
} // namespace Fonts
