// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OutputRoute.h"

#include <functional>
#include <memory>

class MediaPlayer;

/// Makes the players of the sounds that play over the show's song (layers), each on its own
/// output, and measures what the board sends.
class LayerPlayers {
public:
    virtual ~LayerPlayers() = default;

    /// A player whose songs play on `route`. Its songs start as fast as the show's own: the
    /// songs of the hot list start from memory. An output that is not there, or has not the
    /// channels asked for, is no error: the player plays on the show's output meanwhile, and
    /// the handler below is told.
    [[nodiscard]] virtual std::unique_ptr<MediaPlayer> newPlayer(const OutputRoute& route) = 0;
    /// Called on the GUI thread when a route's output is found missing (`missing` true; its
    /// sounds then play on the show's output) or back; once each time.
    virtual void setRouteMissingHandler(
        std::function<void(const OutputRoute& route, const QString& message, bool missing)> handler) = 0;
    /// The highest sample level (linear, 0 to 1 and above when clipped) the board sent to any
    /// output, the preview excepted, since the last call.
    [[nodiscard]] virtual double takePeak() = 0;
};
