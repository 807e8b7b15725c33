// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LayerPlayers.h"

#include <QString>

#include <map>
#include <memory>
#include <tuple>

class AudioOutput;
class MediaPlayerControl;
class PulseAudioEngine;

/// The layers' players over the sound server: on the show's output through the show's engine,
/// on the preview through the preview's, and on other outputs and channels through routes of
/// the show's engine. Every player shares the show player's hot cache and decoding thread.
/// It must outlive the players it made, and the engines and the show player must outlive it.
class LayerOutputs : public LayerPlayers {
public:
    /// `preview` null: preview routes play on the show's output.
    LayerOutputs(PulseAudioEngine& show, PulseAudioEngine* preview, MediaPlayerControl& showPlayer);
    ~LayerOutputs() override;
    LayerOutputs(const LayerOutputs&) = delete;
    LayerOutputs& operator=(const LayerOutputs&) = delete;

    [[nodiscard]] std::unique_ptr<MediaPlayer> newPlayer(const OutputRoute& route) override;
    void setRouteMissingHandler(
        std::function<void(const OutputRoute& route, const QString& message, bool missing)> handler) override;
    /// Of the show's engine, which carries the show's song and every route.
    [[nodiscard]] double takePeak() override;

private:
    AudioOutput& outputFor(const OutputRoute& route);

    PulseAudioEngine& m_show;
    PulseAudioEngine* m_preview;
    MediaPlayerControl& m_showPlayer;
    std::function<void(const OutputRoute&, const QString&, bool)> m_handler;
    /// One output per device and channels, kept while the board runs (each keeps a stream ready).
    std::map<std::tuple<QString, int, int>, std::unique_ptr<AudioOutput>> m_routes;
};
