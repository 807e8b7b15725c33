// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/LayerPlayers.h"
#include "fakes/FakeMediaPlayer.h"

#include <QList>
#include <QPointer>

/// Hands out players that play nothing, and keeps each with the route it was made for.
class FakeLayerPlayers : public LayerPlayers {
public:
    std::unique_ptr<MediaPlayer> newPlayer(const OutputRoute& route) override
    {
        auto player = std::make_unique<FakeMediaPlayer>();
        player->unplayable = unplayable;
        routes << route;
        players << QPointer<FakeMediaPlayer>(player.get());
        return player;
    }
    void
    setRouteMissingHandler(std::function<void(const OutputRoute&, const QString&, bool)> handler) override
    {
        routeMissing = std::move(handler);
    }
    double takePeak() override { return 0.0; }

    /// Forgets the players and routes of a test before.
    void reset()
    {
        routes.clear();
        players.clear();
        unplayable.clear();
        routeMissing = nullptr;
    }

    QList<OutputRoute> routes;
    /// Every player handed out, in order; null once the show deleted it.
    QList<QPointer<FakeMediaPlayer>> players;
    /// Songs no player handed out from now on can play.
    QStringList unplayable;
    std::function<void(const OutputRoute&, const QString&, bool)> routeMissing;
};
