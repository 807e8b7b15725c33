// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackupFollower.h"

#include "audio/MediaPlayer.h"
#include "core/ButtonPlay.h"
#include "core/PlayLog.h"
#include "core/PlayLogic.h"
#include "core/ShowCore.h"
#include "core/ShowLayers.h"
#include "core/SongTexts.h"
#include "platform/Guard.h"
#include "platform/Timer.h"
#include "songs/SongStruc.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

bool sameFile(const QString& a, const QString& b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

/// Whether a fade here has to be brought to the main's: it was joined late, or its steps were
/// missed. Within a step the two only tick at other moments. A main that tells no volume (0)
/// has not stepped yet.
bool fadeApart(int here, const MainState::Sound& main)
{
    return main.volume < 0 && std::abs(here - main.volume) > std::abs(ShowLayers::fadeStep(main.fadeSpeed));
}

} // namespace

BackupFollower::BackupFollower(ShowCore& show, Clock clock, QObject* parent)
    : QObject(parent)
    , f(show)
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); }))
    , m_watchdog(new QTimer(this))
{
    m_watchdog->setSingleShot(true);
    m_watchdog->setInterval(SilenceMs);
    connectGuarded(m_watchdog, &QTimer::timeout, this, &BackupFollower::lost);
    // Stop All pressed here: a panic is this board's own, and the show said so.
    connectGuarded(&f, &ShowCore::followingEnded, this, [this] {
        m_link = Link::Off;
        m_watchdog->stop();
        setLinkText({});
    });
}

BackupFollower::~BackupFollower()
{
    if (m_link == Link::Following)
        f.setFollowing(false);
}

MainState BackupFollower::stateOf(const ShowCore& show, qint64 takenMs)
{
    MainState state;
    const QList<PlayingSound> sounds = show.playing();
    for (const PlayingSound& sound : sounds) {
        if (sound.slot < 0)
            continue; // no slot holds it any more: nothing a backup could press
        MainState::Sound at{sound.sheet, sound.slot, sound.position, sound.paused};
        if (sound.isLayer()) {
            at.fadeSpeed = show.layers().fadeSpeedAt({sound.sheet, sound.slot});
            at.volume = at.fadeSpeed > 0 ? show.layers().volumeAt({sound.sheet, sound.slot}) : 0;
            state.layers.append(at);
        } else {
            at.fadeSpeed = show.FadeTimer->Enabled() ? std::clamp(show.FadeSetting, 1, Board::FadeSpeeds) : 0;
            at.volume = at.fadeSpeed > 0 ? show.WavePlayer.volume() : 0;
            state.song = at;
        }
    }
    // The queue's head is the song that plays, unless it was taken out of the queue.
    const qsizetype waitFrom = show.playState() != TPlayState::psStopped && !show.m_headDetached ? 1 : 0;
    for (qsizetype i = waitFrom; i < show.PlayQueue.size(); ++i)
        if (const auto slot = show.buttonPlay().slotOf(show.PlayQueue[i]))
            state.queue.append({slot->sheet, slot->slot});
    state.shownSheet = show.shownSheet();
    state.masterLevel = show.masterLevel();
    state.takenMs = takenMs;
    return state;
}

void BackupFollower::follow()
{
    m_link = Link::Following;
    m_failedSong.reset();
    f.setFollowing(true);
    f.clearNews(LinkNews);
    m_watchdog->start(); // a main that never answers is lost as one that went silent
}

void BackupFollower::stop()
{
    if (m_link == Link::Following)
        f.setFollowing(false);
    m_link = Link::Off;
    m_watchdog->stop();
    setLinkText({});
}

void BackupFollower::setSilence(int ms)
{
    m_watchdog->setInterval(ms);
}

void BackupFollower::take(const MainState& state)
{
    if (f.ended())
        return; // the show has shut down: nothing is left to match
    switch (m_link) {
    case Link::Off:
    case Link::Back:
        return;
    case Link::Lost:
        // A link held up for a second (packets lost and sent again) while nothing changed: the
        // show here is the main's still, and following on moves nothing.
        if (inStepWith(state)) {
            m_link = Link::Following;
            f.setFollowing(true);
            f.sayNews(LinkNews, QStringLiteral("Main board is back, in step: following it again"));
            break;
        }
        // The operator runs the show here now: following again is the operator's choice.
        m_link = Link::Back;
        f.sayNews(LinkNews, QStringLiteral("Main board is back: choose Follow to follow it again"));
        return;
    case Link::Following:
        break;
    }
    m_watchdog->start();
    double behind = 0.0;
    guard([&] { behind = converge(state); });
    m_behindMs =
        behind <= Tolerance ? 0 : static_cast<int>(std::min<long>(std::lround(behind * 1000), MostBehindMs));
    setLinkText(m_behindMs == 0 ? QStringLiteral("Backup in step")
                                : QStringLiteral("Backup %1 ms behind").arg(m_behindMs));
}

void BackupFollower::lost()
{
    if (m_link != Link::Following || f.ended())
        return;
    // What plays plays on, and its queue goes on as if this board had run the show.
    m_link = Link::Lost;
    f.setFollowing(false);
    setLinkText({});
    f.sayNews(LinkNews, QStringLiteral("Main board lost"));
}

void BackupFollower::setLinkText(const QString& text)
{
    if (text == m_linkText)
        return;
    m_linkText = text;
    Q_EMIT linkChanged(text);
}

QString BackupFollower::fileAt(int sheet, int slot) const
{
    return f.songInfo().fileName(sheet, slot);
}

bool BackupFollower::inStepWith(const MainState& main) const
{
    const double age = static_cast<double>(std::max<qint64>(0, m_clock() - main.takenMs)) / 1000.0;
    const MainState here = stateOf(f, 0);
    const auto near = [age](const MainState::Sound& there, const MainState::Sound& at) {
        return there.sheet == at.sheet && there.slot == at.slot && there.paused == at.paused &&
               (!there.plays() ||
                std::abs(there.position + (there.paused ? 0.0 : age) - at.position) <= Tolerance);
    };
    if (!near(main.song, here.song) || main.queue != here.queue || main.layers.size() != here.layers.size())
        return false;
    for (qsizetype i = 0; i < main.layers.size(); ++i)
        if (!near(main.layers[i], here.layers[i]))
            return false;
    return true;
}

double BackupFollower::converge(const MainState& main)
{
    ++f.m_followerActs;
    const auto done = qScopeGuard([this] { --f.m_followerActs; });
    // The main has gone on since it took the state: its sounds that play are further in.
    const double age = static_cast<double>(std::max<qint64>(0, m_clock() - main.takenMs)) / 1000.0;
    if (main.masterLevel != f.masterLevel())
        f.setMasterLevel(main.masterLevel);
    f.showSheet(main.shownSheet);
    const bool ahead = aheadByOneSong(main);
    double behind = ahead ? 0.0 : convergeSong(main, age);
    convergeQueue(main, ahead);
    behind = std::max(behind, convergeLayers(main, age));
    return std::max(behind, age);
}

double BackupFollower::convergeSong(const MainState& main, double age)
{
    const MainState::Sound& song = main.song;
    if (!song.plays()) {
        m_failedSong.reset();
        stopSong();
        return 0.0;
    }
    const MainState::Slot slot{song.sheet, song.slot};
    const QString file = fileAt(song.sheet, song.slot);
    if (file.isEmpty() || m_failedSong == slot) {
        // Nothing here to play (the show files differ): what played here is not the main's.
        stopSong();
        return 0.0;
    }
    m_failedSong.reset();
    const double want = song.position + (song.paused ? 0.0 : age);
    const bool here = f.m_play->somethingPlays() && sameFile(f.m_play->currentSong(), file);
    const bool cd = IsCdTrack(file);
    double behind = want;
    if (here)
        behind = cd ? 0.0 : want - f.WavePlayer.currentPosition();
    // The slot it plays from, for the slots' colours (the same song may sit in two).
    f.m_pressedSlots.insert(file.toCaseFolded(), SlotRef{song.sheet, song.slot});
    if (!here || std::abs(behind) > Tolerance) {
        m_lags.clear();
        if (!f.m_play->pressSong(file, want)) {
            m_failedSong = slot;
            stopSong();
            return 0.0;
        }
    } else if (!cd && !song.paused && f.WavePlayer.playState() == MediaPlayer::Playing) {
        lineUpSong(file, behind);
    }
    if (!cd) {
        const int state = f.WavePlayer.playState();
        if (song.paused && state == MediaPlayer::Playing)
            f.WavePlayer.pause();
        else if (!song.paused && state == MediaPlayer::Paused)
            f.WavePlayer.play();
        if (song.fadeSpeed > 0 && !f.FadeTimer->Enabled()) {
            f.FadeSetting = song.fadeSpeed;
            f.FadeClick();
        }
        if (song.fadeSpeed > 0 && fadeApart(f.WavePlayer.volume(), song))
            f.WavePlayer.setVolume(song.volume);
    }
    return std::max(0.0, behind);
}

void BackupFollower::lineUpSong(const QString& file, double behind)
{
    // Where a song starts here is off the main's by a few milliseconds, for each board's
    // reported position wavers by as much; the median of a few states does not. Nudged, not
    // started again: this board is not on the air while it follows.
    if (!sameFile(file, m_lagsOf)) {
        m_lagsOf = file;
        m_lags.clear();
    }
    m_lags.append(behind);
    if (m_lags.size() < NudgeAfter)
        return;
    std::sort(m_lags.begin(), m_lags.end());
    const double median = (m_lags[(NudgeAfter - 1) / 2] + m_lags[NudgeAfter / 2]) / 2;
    m_lags.clear();
    if (std::abs(median) >= NudgeFrom)
        f.WavePlayer.nudge(median);
}

void BackupFollower::stopSong()
{
    if (f.PlayQueue.isEmpty() && !f.m_play->somethingPlays())
        return;
    // Stopped here and now, its queue emptied: a stop told later would start the queue the
    // main board has by then.
    const QString song = f.m_play->currentSong();
    f.PlayQueue.clear();
    f.m_headDetached = false;
    if (f.m_play->somethingPlays()) {
        f.m_log->ending(PlayLog::Ended::Stop);
        if (IsCdTrack(song)) {
            f.CDPlayer->Stop();
        } else {
            f.WavePlayer.setSendPlayStateChangeEvents(false);
            const auto restore = qScopeGuard([this] { f.WavePlayer.setSendPlayStateChangeEvents(true); });
            f.WavePlayer.stop();
        }
    }
    f.PlayState = TPlayState::psStopped;
    f.UpdatePlayState();
}

bool BackupFollower::aheadByOneSong(const MainState& main) const
{
    if (!main.song.plays() || main.song.paused || main.queue.isEmpty() || !f.m_play->somethingPlays() ||
        f.WavePlayer.playState() != MediaPlayer::Playing)
        return false;
    const QString song = f.m_play->currentSong();
    return !sameFile(song, fileAt(main.song.sheet, main.song.slot)) &&
           sameFile(song, fileAt(main.queue.first().sheet, main.queue.first().slot)) &&
           f.WavePlayer.currentPosition() < AheadAtJoin;
}

void BackupFollower::convergeQueue(const MainState& main, bool ahead)
{
    QStringList want;
    if (f.m_play->somethingPlays() && main.song.plays())
        want << f.m_play->currentSong(); // the head plays
    for (const MainState::Slot& slot : main.queue.mid(ahead ? 1 : 0)) {
        const QString file = fileAt(slot.sheet, slot.slot);
        if (file.isEmpty())
            continue;
        want << file;
        f.m_pressedSlots.insert(file.toCaseFolded(), SlotRef{slot.sheet, slot.slot});
    }
    const bool same = !f.m_headDetached && want.size() == f.PlayQueue.size() &&
                      std::equal(want.cbegin(), want.cend(), f.PlayQueue.cbegin(), sameFile);
    if (same)
        return;
    f.PlayQueue = want;
    f.m_headDetached = false;
    if (!f.m_play->somethingPlays()) {
        Transport t = f.m_transport;
        t.play = !want.isEmpty(); // Play starts the queue, as on the main board
        f.setTransport(t);
    }
    f.m_play->prepareNext();
    f.follow(false);
}

double BackupFollower::convergeLayers(const MainState& main, double age)
{
    ShowLayers& layers = *f.m_showLayers;
    const auto mainPlays = [&main](int sheet, int slot) {
        return std::any_of(main.layers.cbegin(), main.layers.cend(),
                           [&](const MainState::Sound& s) { return s.sheet == sheet && s.slot == slot; });
    };
    QList<PlayingSound> here = layers.sounds();
    for (const PlayingSound& sound : std::as_const(here))
        if (!mainPlays(sound.sheet, sound.slot))
            layers.stop(sound.id);
    here = layers.sounds();
    double behind = 0.0;
    for (const MainState::Sound& layer : main.layers) {
        const SlotRef slot{layer.sheet, layer.slot};
        const QString file = fileAt(layer.sheet, layer.slot);
        if (file.isEmpty() || !layers.takesPress(slot, file))
            continue; // not a layer here: the show files differ
        const double want = layer.position + (layer.paused ? 0.0 : age);
        const auto it = std::find_if(here.cbegin(), here.cend(), [&](const PlayingSound& s) {
            return s.sheet == layer.sheet && s.slot == layer.slot;
        });
        const double lag = it == here.cend() ? want : want - it->position;
        if (it == here.cend() || std::abs(lag) > Tolerance)
            layers.playAt(slot, file, want);
        layers.setPaused(slot, layer.paused);
        if (layer.fadeSpeed > 0 && layers.fadeSpeedAt(slot) == 0)
            layers.fadeAt(slot, layer.fadeSpeed);
        if (layer.fadeSpeed > 0 && fadeApart(layers.volumeAt(slot), layer))
            layers.setVolumeAt(slot, layer.volume);
        behind = std::max(behind, lag);
    }
    return behind;
}
