// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class Board;

/// One command of the page, read from a WebSocket text message such as
/// `{"cmd":"press","sheet":0,"slot":5}`. Sheets and slots count from 0, as the board does.
///
/// | cmd | fields | runs |
/// |---|---|---|
/// | press, queue | sheet 0..9, slot 0..35 | a plain press, a Shift+press |
/// | release | sheet 0..9, slot 0..35 | the plain press let go of |
/// | play, stop, stopall, pause | none | the transport buttons |
/// | fade | speed 0..5 (0: the chosen speed; may be left out) | Fade |
/// | fadeall | speed 0..5, as fade | Fade All: everything that plays |
/// | stopsound | id, a whole number from 0 (0: the show's song) | stops that sound of what plays |
/// | master | db, -60..0 | sets the master level |
/// | show | sheet 0..9 | shows that sheet on the board |
struct WebCommand {
    enum class Kind {
        Press,
        Release,
        Queue,
        Play,
        Stop,
        StopAll,
        Pause,
        Fade,
        FadeAll,
        StopSound,
        Master,
        Show
    };

    static constexpr qsizetype MaxBytes = 256;
    /// The lowest master level.
    static constexpr double MinMasterDb = -60.0;

    Kind kind = Kind::Play;
    int sheet = 0;
    int slot = 0;
    int speed = 0;
    int id = 0;
    double db = 0;

    /// Reads a message; nothing, with a short reason in `why`, for one that is not a command.
    [[nodiscard]] static std::optional<WebCommand> parse(const QByteArray& message, QString* why = nullptr);
    /// Runs the command through the board's commands.
    /// Runs the command; returns what a press ran into (its song cannot play), else empty.
    [[nodiscard]] QString run(Board& board) const;
};
