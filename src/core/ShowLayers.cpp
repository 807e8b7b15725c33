// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowLayers.h"

#include "audio/LayerPlayers.h"
#include "audio/MediaPlayer.h"
#include "audio/OutputDevices.h"
#include "core/ButtonPlay.h"
#include "core/PlayLogic.h"
#include "core/ShowCore.h"
#include "core/SongTexts.h"
#include "platform/Guard.h"
#include "songs/SongStruc.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace {
/// The fade's tick, as the show's own fade.
constexpr int FadeTickMs = 500;
/// How fast the others go down when a ducking sound starts, and back up when it ends.
constexpr double DuckDownSeconds = 0.3;
constexpr double DuckUpSeconds = 1.0;

double gainOfDb(double db)
{
    return std::pow(10.0, db / 20.0);
}
} // namespace

int ShowLayers::fadeStep(int speed)
{
    static constexpr int Steps[] = {-500, -400, -300, -200, -100};
    return speed >= 1 && speed <= 5 ? Steps[speed - 1] : 0;
}

ShowLayers::ShowLayers(ShowCore& show, LayerPlayers* players, MediaPlayer& showPlayer)
    : f(show)
    , m_players(players)
    , m_showPlayer(showPlayer)
    , m_fadeTimer(new QTimer(this))
{
    m_fadeTimer->setInterval(FadeTickMs);
    connectGuarded(m_fadeTimer, &QTimer::timeout, this, &ShowLayers::fadeTick);
    if (!m_players)
        return;
    // Told by itself: the status bar says it once, and no box waits for it.
    m_players->setRouteMissingHandler(
        [self = QPointer<ShowLayers>(this)](const OutputRoute& route, const QString& message, bool missing) {
            if (!self || self->m_ended)
                return;
            const QString topic = QStringLiteral("route ") + route.device;
            if (missing && !self->m_missingRoutes.contains(route.device)) {
                self->m_missingRoutes.insert(route.device);
                self->f.sayNews(topic, message);
            } else if (!missing && self->m_missingRoutes.remove(route.device)) {
                self->f.clearNews(topic);
            }
        });
}

ShowLayers::~ShowLayers()
{
    end();
}

void ShowLayers::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_fadeTimer->stop();
    if (m_players)
        guard([this] { m_players->setRouteMissingHandler({}); });
    while (!m_layers.isEmpty()) {
        MediaPlayer* player = m_layers.takeLast().player;
        QObject::disconnect(player, nullptr, this, nullptr);
        guard([player] { player->stop(); });
        delete player; // the show ends: no event loop may come to delete it later
    }
}

bool ShowLayers::takesPress(SlotRef slot, const QString& file) const
{
    // A CD track plays on the CD player, as the show's song, whatever its button says.
    return m_players && !m_ended && f.songInfo().buttonSettings(slot.sheet, slot.slot).layer &&
           !IsCdTrack(file) && !IsCdTrack(f.songInfo().playPath(file));
}

void ShowLayers::press(SlotRef slot, const QString& file)
{
    const ButtonSettings settings = f.songInfo().buttonSettings(slot.sheet, slot.slot);
    if (const qsizetype at = indexAt(slot); at >= 0) {
        // The second press on a button whose layer plays: as its mode says.
        if (settings.mode == ButtonSettings::Mode::Toggle)
            remove(at, true);
        else
            restart(m_layers[at]);
        return;
    }
    start(slot, file, settings);
}

void ShowLayers::playAt(SlotRef slot, const QString& file, double seconds)
{
    if (const qsizetype at = indexAt(slot); at >= 0)
        restart(m_layers[at], seconds);
    else
        start(slot, file, f.songInfo().buttonSettings(slot.sheet, slot.slot), seconds);
}

void ShowLayers::setPaused(SlotRef slot, bool paused)
{
    const qsizetype at = indexAt(slot);
    if (at < 0)
        return;
    MediaPlayer* player = m_layers[at].player;
    if (paused && player->playState() == MediaPlayer::Playing)
        player->pause();
    else if (!paused && player->playState() == MediaPlayer::Paused)
        player->play();
    else
        return;
    f.layersChanged();
}

void ShowLayers::start(SlotRef slot, const QString& file, const ButtonSettings& settings, double from)
{
    if (m_layers.size() >= MaxLayers) {
        // Nothing stops by itself to make room: the operator chooses what to stop.
        if (!std::exchange(m_fullSaid, true))
            f.sayNews(
                FullNews,
                QStringLiteral("%1 sounds play over the show: stop one to start another").arg(MaxLayers));
        return;
    }
    Layer layer;
    layer.slot = slot;
    layer.file = file;
    layer.title = f.songInfo().title(slot.sheet, slot.slot);
    layer.mode = settings.mode;
    layer.duckDb = settings.duckDb;
    const bool started = f.m_play->sideSong(file, [&](const QString& path) {
        std::unique_ptr<MediaPlayer> player = m_players->newPlayer(settings.route());
        // Dipped from its first sample by the sounds that duck, at the master level.
        layer.gain = gainFor(m_layers.size());
        if (layer.gain != 1.0)
            player->setMixGain(layer.gain, 0.0);
        player->setPlaySpan(path, f.buttonPlay().spanOf(slot));
        player->setFileNameAt(path, from);
        player->setLoop(settings.loop);
        layer.player = player.release();
    });
    if (!started)
        return;
    layer.player->setParent(this);
    layer.id = m_nextId++;
    layer.output = outputName(settings);
    MediaPlayer* player = layer.player;
    connectGuarded(player, &MediaPlayer::PlayStateChange, this,
                   [this, player](int, int) { playerChanged(player); });
    connectGuarded(player, &MediaPlayer::PlaybackLost, this, [this, player](const QString&) {
        if (const qsizetype at = indexOf(player); at >= 0)
            remove(at, false);
    });
    m_layers.append(layer);
    f.clearNews(ShowCore::failedPressTopic(slot));
    applyGains();
    changed(slot);
}

void ShowLayers::restart(Layer& layer, double from)
{
    MediaPlayer* player = layer.player;
    const SlotRef slot = layer.slot;
    // A song that cannot play again fails as a press does; the layer that played plays on.
    const bool started = f.m_play->sideSong(layer.file, [&](const QString& path) {
        player->setPlaySpan(path, f.buttonPlay().spanOf(slot));
        player->setFileNameAt(path, from);
        player->setVolume(0); // a fade belongs to the song it was started on
        player->setLoop(f.songInfo().buttonSettings(slot.sheet, slot.slot).loop);
    });
    if (!started)
        return;
    if (const qsizetype at = indexOf(player); at >= 0)
        m_layers[at].fadeStep = 0;
    f.clearNews(ShowCore::failedPressTopic(slot));
    changed(slot);
}

bool ShowLayers::release(SlotRef slot)
{
    const qsizetype at = indexAt(slot);
    if (at < 0 || m_layers[at].mode != ButtonSettings::Mode::Hold)
        return false;
    remove(at, true);
    return true;
}

bool ShowLayers::stop(int id)
{
    for (qsizetype i = 0; i < m_layers.size(); ++i) {
        if (m_layers[i].id == id) {
            remove(i, true);
            return true;
        }
    }
    return false;
}

bool ShowLayers::stopAll()
{
    if (m_layers.isEmpty())
        return false;
    while (!m_layers.isEmpty())
        remove(m_layers.size() - 1, true);
    return true;
}

void ShowLayers::pauseAll()
{
    for (const Layer& layer : std::as_const(m_layers))
        if (layer.player->playState() == MediaPlayer::Playing)
            layer.player->pause();
    f.layersChanged();
}

void ShowLayers::resumeAll()
{
    for (const Layer& layer : std::as_const(m_layers))
        if (layer.player->playState() == MediaPlayer::Paused)
            layer.player->play();
    f.layersChanged();
}

void ShowLayers::fadeAll(int speed)
{
    const int step = fadeStep(speed);
    if (step == 0)
        return;
    for (Layer& layer : m_layers)
        layer.fadeStep = step;
    if (!m_layers.isEmpty())
        m_fadeTimer->start();
}

void ShowLayers::fadeAt(SlotRef slot, int speed)
{
    const qsizetype at = indexAt(slot);
    if (at < 0 || fadeStep(speed) == 0)
        return;
    m_layers[at].fadeStep = fadeStep(speed);
    m_fadeTimer->start();
}

int ShowLayers::fadeSpeedAt(SlotRef slot) const
{
    const qsizetype at = indexAt(slot);
    for (int speed = 1; at >= 0 && m_layers[at].fadeStep != 0 && speed <= 5; ++speed)
        if (fadeStep(speed) == m_layers[at].fadeStep)
            return speed;
    return 0;
}

int ShowLayers::volumeAt(SlotRef slot) const
{
    const qsizetype at = indexAt(slot);
    return at >= 0 ? m_layers[at].player->volume() : 0;
}

void ShowLayers::setVolumeAt(SlotRef slot, int volume)
{
    if (const qsizetype at = indexAt(slot); at >= 0)
        m_layers[at].player->setVolume(volume);
}

void ShowLayers::fadeTick()
{
    bool fading = false;
    for (qsizetype i = m_layers.size() - 1; i >= 0; --i) {
        Layer& layer = m_layers[i];
        if (layer.fadeStep == 0)
            continue;
        layer.player->setVolume(layer.player->volume() + layer.fadeStep);
        if (layer.player->volume() <= FadedVolume)
            remove(i, true);
        else
            fading = true;
    }
    if (!fading)
        m_fadeTimer->stop();
}

bool ShowLayers::anyPlaying() const
{
    return std::any_of(m_layers.cbegin(), m_layers.cend(),
                       [](const Layer& l) { return l.player->playState() == MediaPlayer::Playing; });
}

bool ShowLayers::anyPaused() const
{
    return std::any_of(m_layers.cbegin(), m_layers.cend(),
                       [](const Layer& l) { return l.player->playState() == MediaPlayer::Paused; });
}

bool ShowLayers::playsFrom(SlotRef slot) const
{
    return indexAt(slot) >= 0;
}

QList<PlayingSound> ShowLayers::sounds() const
{
    QList<PlayingSound> out;
    out.reserve(m_layers.size());
    for (const Layer& layer : m_layers) {
        PlayingSound sound;
        sound.id = layer.id;
        // Where it was pressed while that slot still holds its song.
        if (f.songInfo()
                .fileName(layer.slot.sheet, layer.slot.slot)
                .compare(layer.file, Qt::CaseInsensitive) == 0) {
            sound.sheet = layer.slot.sheet;
            sound.slot = layer.slot.slot;
        }
        sound.title = layer.title;
        sound.position = layer.player->currentPosition();
        sound.length = layer.player->duration();
        sound.paused = layer.player->playState() == MediaPlayer::Paused;
        sound.output = layer.output;
        out.append(sound);
    }
    return out;
}

QString ShowLayers::outputName(const ButtonSettings& settings) const
{
    const OutputRoute route = settings.route();
    QString name;
    if (route.preview) {
        name = QStringLiteral("Preview");
    } else if (!route.device.isEmpty()) {
        name = route.device;
        if (f.outputs()) {
            const QList<OutputDevices::Device> devices = f.outputs()->outputDevices();
            for (const OutputDevices::Device& device : devices)
                if (device.name == route.device && !device.description.isEmpty())
                    name = device.description;
        }
    }
    const QString channels = settings.channelsText();
    if (channels.isEmpty())
        return name;
    return name.isEmpty() ? channels : name + QLatin1Char(' ') + channels;
}

qsizetype ShowLayers::indexOf(const MediaPlayer* player) const
{
    for (qsizetype i = 0; i < m_layers.size(); ++i)
        if (m_layers[i].player == player)
            return i;
    return -1;
}

qsizetype ShowLayers::indexAt(SlotRef slot) const
{
    for (qsizetype i = 0; i < m_layers.size(); ++i)
        if (m_layers[i].slot == slot)
            return i;
    return -1;
}

void ShowLayers::remove(qsizetype index, bool stopPlayer)
{
    const Layer layer = m_layers.takeAt(index);
    QObject::disconnect(layer.player, nullptr, this, nullptr);
    if (stopPlayer)
        guard([&] { layer.player->stop(); });
    layer.player->deleteLater(); // it may be in the middle of telling its own stop
    if (std::exchange(m_fullSaid, false))
        f.clearNews(FullNews); // room for one more
    applyGains();
    changed(layer.slot);
}

void ShowLayers::playerChanged(MediaPlayer* player)
{
    const qsizetype at = indexOf(player);
    if (at < 0)
        return;
    if (player->playState() == MediaPlayer::Stopped)
        remove(at, false); // its song ended by itself
    else
        f.layersChanged();
}

double ShowLayers::gainFor(qsizetype except) const
{
    // Dipped by the deepest of the others that duck; a ducking sound never by itself.
    double dip = except >= 0 ? f.showDuckDb() : 0.0;
    for (qsizetype i = 0; i < m_layers.size(); ++i)
        if (i != except)
            dip = std::max(dip, m_layers[i].duckDb);
    return gainOfDb(f.masterLevel() - dip);
}

void ShowLayers::applyGains(bool masterMoved)
{
    const auto apply = [masterMoved](MediaPlayer& player, double& told, double gain) {
        if (gain == told)
            return;
        const double ramp = masterMoved ? 0.0 : gain < told ? DuckDownSeconds : DuckUpSeconds;
        told = gain;
        player.setMixGain(gain, ramp);
    };
    apply(m_showPlayer, m_showGain, gainFor(-1));
    for (qsizetype i = 0; i < m_layers.size(); ++i)
        apply(*m_layers[i].player, m_layers[i].gain, gainFor(i));
}

void ShowLayers::changed(SlotRef slot)
{
    f.tellSlot(slot);
    f.layersChanged();
}
