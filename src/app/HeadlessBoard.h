// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class Registry;

/// "sonavex --headless": the show with the OSC and web remotes and MIDI, on the same settings,
/// song file and sound output as the window, and no display (a service's board, or a board on a
/// computer without a screen). What the window's status bar would say goes to standard error, one
/// line each; so does every error. SIGTERM, SIGINT and SIGHUP end the show the way Exit does.
class HeadlessBoard {
public:
    /// What the windowed start-up shares with this one.
    struct Start {
        /// The single-instance name of the settings folder: a windowed and a headless board on
        /// one folder exclude each other.
        QString instanceName;
        /// A user's first start: registers the song file and puts the samples on the first
        /// sheet; returns what went wrong, said as news.
        std::function<QString(Registry&)> firstStart;
    };

    /// Exit status when another copy runs on the same settings folder.
    static constexpr int RunsAlready = 1;

    /// Runs the board until a termination signal; returns the exit status (0 after a run).
    static int run(int argc, char* argv[], const Start& start);
};
