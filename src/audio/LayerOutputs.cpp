// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayerOutputs.h"

#include "MediaPlayerControl.h"
#include "PulseAudioEngine.h"

LayerOutputs::LayerOutputs(PulseAudioEngine& show, PulseAudioEngine* preview, MediaPlayerControl& showPlayer)
    : m_show(show)
    , m_preview(preview)
    , m_showPlayer(showPlayer)
{
}

LayerOutputs::~LayerOutputs() = default;

std::unique_ptr<MediaPlayer> LayerOutputs::newPlayer(const OutputRoute& route)
{
    return std::make_unique<MediaPlayerControl>(outputFor(route), m_showPlayer);
}

AudioOutput& LayerOutputs::outputFor(const OutputRoute& route)
{
    if (route.preview)
        return m_preview ? static_cast<AudioOutput&>(*m_preview) : m_show;
    if (route.isShowOutput())
        return m_show;
    const int count = route.channelCount == 1 ? 1 : 2;
    const int first = route.firstChannel > 0 ? route.firstChannel : 0;
    auto key = std::make_tuple(route.device, first, first > 0 ? count : 2);
    auto found = m_routes.find(key);
    if (found != m_routes.end())
        return *found->second;
    OutputRoute said = route;
    auto output =
        m_show.routeOutput(route.device, first, count, [this, said](const QString& message, bool missing) {
            if (m_handler)
                m_handler(said, message, missing);
        });
    return *m_routes.emplace(std::move(key), std::move(output)).first->second;
}

void LayerOutputs::setRouteMissingHandler(
    std::function<void(const OutputRoute& route, const QString& message, bool missing)> handler)
{
    m_handler = std::move(handler);
}

double LayerOutputs::takePeak()
{
    return m_show.takePeak();
}
