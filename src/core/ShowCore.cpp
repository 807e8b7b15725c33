// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowCore.h"

#include "audio/MediaPlayer.h"
#include "audio/OutputDevices.h"
#include "audio/SongLevels.h"
#include "core/ButtonPlay.h"
#include "core/PlayLog.h"
#include "core/PlayLogic.h"
#include "core/ShowLayers.h"
#include "core/SongTexts.h"
#include "core/SoundNews.h"
#include "platform/ErrorReporter.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/Timer.h"
#include "songs/SongPreview.h"
#include "songs/SongStruc.h"
#include "songs/SongTimes.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QSet>

#include <cmath>
#include <utility>

static_assert(Board::Sheets == SheetCount && Board::Slots == SlotCount);

namespace {
/// How often the time is told while a song plays.
constexpr int TickMs = 250;
/// How long the master level rests before it is stored.
constexpr int MasterRestMs = 1000;
} // namespace

ShowCore::ShowCore(ShowServices services, std::unique_ptr<TSongInfo> songInfo, QObject* parent)
    : Board(parent)
    , WaveTimer(new TTimer(this, 1000))
    , FadeTimer(new TTimer(this, 500))
    , m_registry(services.registry)
    , m_settings(services.registry)
    , WavePlayer(services.WavePlayer)
    , m_cdTracks(services.cdTracks)
    , m_outputs(services.outputs)
    , m_levels(services.levels)
    , m_preview(services.preview)
    , m_layers(services.layers)
    , SongInfo(std::move(songInfo))
    , m_play(std::make_unique<PlayLogic>(*this))
    , m_buttons(std::make_unique<ButtonPlay>(*this, WavePlayer))
    , m_log(std::make_unique<PlayLog>(PlayLog::defaultFolder(),
                                      [this](const QString& message) { sayNews(LogNews, message); }))
    , m_showLayers(std::make_unique<ShowLayers>(*this, services.layers, services.WavePlayer))
    , m_clock(new QTimer(this))
    , m_auditionWatch(new QTimer(this))
    , m_masterStore(new QTimer(this))
{
    connectGuarded(WaveTimer, &QTimer::timeout, this, &ShowCore::WaveTimerTimer);
    connectGuarded(FadeTimer, &QTimer::timeout, this, &ShowCore::FadeTimerTimer);
    connectGuarded(&WavePlayer, &MediaPlayer::PlayStateChange, this, &ShowCore::WavePlayerPlayStateChange);
    connectGuarded(&WavePlayer, &MediaPlayer::PlaybackLost, this, &ShowCore::WavePlayerPlaybackLost);
    m_clock->setInterval(TickMs);
    connectGuarded(m_clock, &QTimer::timeout, this, &ShowCore::clockTick);
    m_auditionWatch->setInterval(TickMs);
    connectGuarded(m_auditionWatch, &QTimer::timeout, this, &ShowCore::watchAudition);
    m_masterStore->setSingleShot(true);
    m_masterStore->setInterval(MasterRestMs);
    connectGuarded(m_masterStore, &QTimer::timeout, this,
                   [this] { guard([this] { m_settings.saveMasterLevel(m_masterLevel); }); });

    // Without a CD player the show still comes up whole; a CD song then explains why it cannot play.
    try {
        CDPlayer = std::make_unique<TCDPlayer>(0, *this, *this);
    } catch (const std::exception& e) {
        CDPlayer = std::make_unique<TNoCDPlayer>(QString::fromUtf8(e.what()), *this);
    }
    // A settings file that cannot be read is reported, and the show still comes up.
    guard([this] {
        const QStringList names = m_settings.tabNames();
        for (int i = 0; i < Sheets; ++i)
            m_sheetNames[static_cast<std::size_t>(i)] =
                names.value(i).isEmpty() ? QStringLiteral("Music Sheet %1").arg(i + 1) : names[i];
    });
    guard([this] {
        if (!m_outputs)
            return;
        m_soundNews = std::make_unique<SoundNews>(*this, *m_outputs);
        m_outputs->setOutputDevice(m_settings.outputDevice());
    });
    guard([this] {
        m_evenLevels = m_levels && m_settings.evenLevels();
        if (m_levels)
            m_levels->setEnabled(m_evenLevels);
    });
    guard([this] {
        m_showTimeLeft = m_settings.showTimeLeft();
        m_showView = m_settings.showView();
        m_buttons->setUseSongTimes(m_settings.useSongTimes());
        m_log->setEnabled(m_settings.logPlays());
    });
    guard([this] {
        m_masterLevel = m_settings.masterLevel();
        m_showLayers->applyGains(true);
    });
    follow(true);
}

ShowCore::~ShowCore()
{
    end();
}

void ShowCore::end()
{
    if (m_ended)
        return;
    m_ended = true;
    // No report of the players reaches the show from here on: they outlive it.
    QObject::disconnect(&WavePlayer, nullptr, this, nullptr);
    guard([this] {
        QStringList names;
        for (const QString& name : m_sheetNames)
            names << name;
        m_settings.saveTabNames(names);
    });
    if (m_masterStore->isActive()) {
        m_masterStore->stop();
        guard([this] { m_settings.saveMasterLevel(m_masterLevel); });
    }
    PlayQueue.clear();
    guard([this] { m_log->ended(PlayLog::Ended::Quit); });
    guard([this] {
        WavePlayer.setSendPlayStateChangeEvents(false);
        WavePlayer.stop();
    });
    guard([this] { m_showLayers->end(); });
    guard([this] { CDPlayer.reset(); });
    guard([this] { m_soundNews.reset(); });
    FadeTimer->setEnabled(false);
    WaveTimer->setEnabled(false);
    m_clock->stop();
    m_auditionWatch->stop();
    guard([this] { SongInfo.reset(); });
}

QString ShowCore::failedPressTopic(SlotRef slot)
{
    return QStringLiteral("press %1 %2").arg(slot.sheet).arg(slot.slot);
}

void ShowCore::sayNews(const QString& topic, const QString& text)
{
    Q_EMIT newsSaid(topic, text);
}

void ShowCore::clearNews(const QString& topic)
{
    Q_EMIT newsCleared(topic);
}

bool ShowCore::validSlot(int sheet, int slot)
{
    return sheet >= 0 && sheet < Sheets && slot >= 0 && slot < Slots;
}

// --- what the show tells ----------------------------------------------------------------------------------

SlotState ShowCore::slotState(int sheet, int slot) const
{
    if (!validSlot(sheet, slot) || !SongInfo)
        return SlotState::Empty;
    const QString file = SongInfo->fileName(sheet, slot);
    if (file.isEmpty())
        return SlotState::Empty;
    return stateAt({sheet, slot}, file, queueView());
}

SlotState ShowCore::stateAt(SlotRef slot, const QString& file, const QueueView& view) const
{
    if (file.isEmpty())
        return SlotState::Empty;
    // A layer's slot is green while it plays; the queue's colours are the show's song's.
    return m_showLayers->playsFrom(slot) ? SlotState::Playing : slotStateOf(file, view);
}

void ShowCore::tellSlot(SlotRef slot)
{
    if (!SongInfo || !validSlot(slot.sheet, slot.slot))
        return;
    const Told now{slotState(slot.sheet, slot.slot), slotTitle(slot.sheet, slot.slot)};
    Told& told = m_told[static_cast<std::size_t>(slot.sheet * Slots + slot.slot)];
    if (now.state != told.state || now.title != told.title) {
        told = now;
        Q_EMIT slotChanged(slot.sheet, slot.slot, now.state, now.title);
    }
}

QString ShowCore::slotTitle(int sheet, int slot) const
{
    if (!validSlot(sheet, slot) || !SongInfo || SongInfo->fileName(sheet, slot).isEmpty())
        return EmptyTitle;
    return SongInfo->title(sheet, slot);
}

QString ShowCore::sheetName(int sheet) const
{
    return sheet >= 0 && sheet < Sheets ? m_sheetNames[static_cast<std::size_t>(sheet)] : QString();
}

NowPlaying ShowCore::nowPlaying() const
{
    NowPlaying now;
    if (PlayState == TPlayState::psStopped)
        return now;
    now.path = m_play->currentSong();
    if (now.path.isEmpty())
        return now;
    if (const auto slot = m_buttons->slotOf(now.path)) {
        now.sheet = slot->sheet;
        now.slot = slot->slot;
        now.title = SongInfo->title(slot->sheet, slot->slot);
    }
    return now;
}

double ShowCore::position() const
{
    return PlayState == TPlayState::psStopped ? 0.0 : m_play->position();
}

double ShowCore::length() const
{
    return PlayState == TPlayState::psStopped ? 0.0 : m_play->length();
}

QString ShowCore::statusText(int panel) const
{
    return panel >= 0 && panel < 3 ? m_status[static_cast<std::size_t>(panel)] : QString();
}

QueueView ShowCore::queueView() const
{
    // Colours follow what plays: a playing song taken out of the queue is still green,
    // and the queue's head is then the next song, yellow.
    return {PlayQueue, PlayState == TPlayState::psPlaying, m_headDetached, m_playingPath};
}

std::optional<SlotRef> ShowCore::pressedSlotOf(const QString& file) const
{
    const auto it = m_pressedSlots.constFind(file.toCaseFolded());
    if (it == m_pressedSlots.cend())
        return std::nullopt;
    return *it;
}

bool ShowCore::showInProgress() const
{
    return m_play->somethingPlays() || !PlayQueue.isEmpty();
}

Transport ShowCore::transport() const
{
    Transport t = m_transport;
    if (m_auditionPlays)
        t.stop = t.stopSong = t.stopAll = true;
    // Stop All stops the layers too; Pause pauses them, and resumes them when they alone paused.
    if (!m_showLayers->isEmpty())
        t.stopAll = true;
    if (m_showLayers->anyPlaying() || (PlayState == TPlayState::psStopped && m_showLayers->anyPaused()))
        t.pause = true;
    return t;
}

void ShowCore::setTransport(const Transport& transport)
{
    m_transport = transport;
    tellTransport();
}

void ShowCore::tellTransport()
{
    const Transport now = transport();
    if (now == m_toldTransport)
        return;
    m_toldTransport = now;
    Q_EMIT transportChanged(now);
}

void ShowCore::setStatus(int panel, const QString& text)
{
    QString& shown = m_status[static_cast<std::size_t>(panel)];
    if (shown == text)
        return;
    shown = text;
    Q_EMIT statusChanged(panel, text);
}

void ShowCore::setFinalSeconds(bool on)
{
    if (on == m_finalSeconds)
        return;
    m_finalSeconds = on;
    Q_EMIT finalSecondsChanged(on);
}

void ShowCore::refresh()
{
    follow(true);
}

void ShowCore::follow(bool everySlot)
{
    if (!SongInfo)
        return;
    // Only the songs of the queue told last and of the queue now can have changed colour.
    const QueueView view = queueView();
    QSet<QString> touched;
    if (!everySlot) {
        for (const QString& file : m_toldQueue)
            touched.insert(file.toCaseFolded());
        for (const QString& file : view.queue)
            touched.insert(file.toCaseFolded());
        touched.insert(view.playingPath.toCaseFolded());
    }
    for (int sheet = 0; sheet < Sheets; ++sheet) {
        for (int slot = 0; slot < Slots; ++slot) {
            const QString file = SongInfo->fileName(sheet, slot);
            if (!everySlot && (file.isEmpty() || !touched.contains(file.toCaseFolded())))
                continue;
            const Told now{stateAt({sheet, slot}, file, view), slotTitle(sheet, slot)};
            Told& told = m_told[static_cast<std::size_t>(sheet * Slots + slot)];
            if (now.state != told.state || now.title != told.title) {
                told = now;
                Q_EMIT slotChanged(sheet, slot, now.state, now.title);
            }
        }
    }
    m_toldQueue = view.queue;
    if (!view.playingPath.isEmpty())
        m_toldQueue << view.playingPath;
    updateHotList();
    followPlay();
}

void ShowCore::followPlay()
{
    if (PlayState != m_toldState) {
        m_toldState = PlayState;
        Q_EMIT playStateChanged(PlayState);
        runClock();
        tick();
        m_showLayers->applyGains(); // a song that ducks dips the others only while it plays
    }
    if (const NowPlaying now = nowPlaying(); !(now == m_toldPlaying)) {
        m_toldPlaying = now;
        Q_EMIT nowPlayingChanged(now);
        tick();
        m_showLayers->applyGains();
    }
    tellPlaying();
}

void ShowCore::tick()
{
    Q_EMIT timeChanged(position(), length(), timeLeft());
}

void ShowCore::clockTick()
{
    if (PlayState == TPlayState::psPlaying)
        tick();
    tellPlaying(true);
}

void ShowCore::runClock()
{
    if (PlayState == TPlayState::psPlaying || m_showLayers->anyPlaying()) {
        if (!m_clock->isActive())
            m_clock->start();
    } else {
        m_clock->stop();
    }
}

void ShowCore::tellPlaying(bool always)
{
    QList<PlayingSound> now = playing();
    if (!always && now == m_toldSounds)
        return;
    m_toldSounds = now;
    Q_EMIT playingChanged(m_toldSounds);
}

void ShowCore::layersChanged()
{
    tellTransport();
    runClock();
    tellPlaying();
}

double ShowCore::showDuckDb() const
{
    if (PlayState == TPlayState::psStopped || !SongInfo)
        return 0.0;
    const QString song = m_play->currentSong();
    if (song.isEmpty() || IsCdTrack(song))
        return 0.0;
    const auto slot = m_buttons->slotOf(song);
    return slot ? SongInfo->buttonSettings(slot->sheet, slot->slot).duckDb : 0.0;
}

void ShowCore::updateHotList()
{
    // Songs the operator may press next: the shown sheet and the queue.
    QStringList hot = PlayQueue;
    for (int k = 0; k < Slots; ++k) {
        const QString file = SongInfo->fileName(m_shownSheet, k);
        if (!file.isEmpty() && !IsCdTrack(file) && !hot.contains(file))
            hot << file;
    }
    hot.removeIf([](const QString& f) { return IsCdTrack(f); });
    for (QString& file : hot)
        file = SongInfo->playPath(file); // found songs are decoded ahead where they play from
    hot.removeDuplicates();
    if (hot == m_hotList)
        return; // every press refreshes; the decoder need not start over
    m_hotList = hot;
    WavePlayer.setHotList(hot);
}

// --- the board's commands: refused as the window's controls would be -------------------------------------

void ShowCore::press(int sheet, int slot, PressedBy by)
{
    if (validSlot(sheet, slot))
        SongPress({sheet, slot}, false, by);
}

void ShowCore::release(int sheet, int slot, PressedBy by)
{
    if (validSlot(sheet, slot))
        SongRelease({sheet, slot}, by);
}

void ShowCore::queue(int sheet, int slot, PressedBy by)
{
    if (validSlot(sheet, slot))
        SongPress({sheet, slot}, true, by);
}

void ShowCore::play()
{
    if (refusedWhileFollowing())
        return;
    if (m_transport.play)
        PlayClick();
    else
        Q_EMIT commandRefused(QStringLiteral("play"));
}

void ShowCore::stopSong()
{
    if (refusedWhileFollowing())
        return;
    if (m_transport.stop)
        StopClick();
    else if (!stopAudition())
        Q_EMIT commandRefused(QStringLiteral("stopSong"));
}

void ShowCore::stopAll()
{
    // A panic while following is always taken: it ends the following, whatever plays.
    if (m_transport.stopAll || !m_showLayers->isEmpty() || (m_following && m_followerActs == 0))
        StopAllClick();
    else if (!stopAudition())
        Q_EMIT commandRefused(QStringLiteral("stopAll"));
}

void ShowCore::pause()
{
    if (refusedWhileFollowing())
        return;
    if (transport().pause)
        PauseClick();
    else
        Q_EMIT commandRefused(QStringLiteral("pause"));
}

void ShowCore::fade(int speed)
{
    if (speed < 0 || speed > FadeSpeeds || refusedWhileFollowing())
        return;
    if (speed > 0)
        FadeSetting = speed;
    FadeClick();
}

void ShowCore::showSheet(int sheet)
{
    if (sheet < 0 || sheet >= Sheets || sheet == m_shownSheet || refusedWhileFollowing())
        return;
    m_shownSheet = sheet;
    updateHotList();
    Q_EMIT sheetShown(sheet);
}

QList<PlayingSound> ShowCore::playing() const
{
    QList<PlayingSound> sounds;
    if (PlayState != TPlayState::psStopped) {
        const NowPlaying now = nowPlaying();
        sounds.append(PlayingSound{
            0, now.sheet, now.slot, now.title, position(), length(), PlayState == TPlayState::psPaused, {}});
    }
    if (m_showLayers)
        sounds += m_showLayers->sounds();
    return sounds;
}

void ShowCore::stopSound(int id)
{
    if (refusedWhileFollowing())
        return;
    if (id == 0)
        stopSong();
    else
        m_showLayers->stop(id);
}

void ShowCore::fadeAll(int speed)
{
    if (speed < 0 || speed > FadeSpeeds || refusedWhileFollowing())
        return;
    // The layers that play now fade; one started during the fade plays on.
    m_showLayers->fadeAll(speed > 0 ? speed : FadeSetting);
    if (PlayState != TPlayState::psStopped && !FadeTimer->Enabled())
        fade(speed);
}

void ShowCore::setMasterLevel(double db)
{
    db = std::isfinite(db) ? std::clamp(db, -60.0, 0.0) : 0.0;
    if (db == m_masterLevel || refusedWhileFollowing())
        return;
    m_masterLevel = db;
    m_showLayers->applyGains(true);
    m_masterStore->start();
    Q_EMIT masterLevelChanged(db);
}

void ShowCore::runCommand(KeyCommand command)
{
    switch (command) {
    case KeyCommand::Play:
        play();
        break;
    case KeyCommand::StopSong:
        stopSong();
        break;
    case KeyCommand::StopAll:
        stopAll();
        break;
    case KeyCommand::Pause:
        pause();
        break;
    case KeyCommand::Fade:
        fade(0);
        break;
    case KeyCommand::NextSheet:
    case KeyCommand::PrevSheet:
        showSheet((m_shownSheet + (command == KeyCommand::NextSheet ? 1 : Sheets - 1)) % Sheets);
        break;
    case KeyCommand::Audition: {
        const bool on = !m_audition;
        setAudition(on);
        if (m_audition != on)
            Q_EMIT commandRefused(QStringLiteral("audition")); // no preview output to play on
        break;
    }
    case KeyCommand::ShowView:
        setShowView(!m_showView);
        break;
    case KeyCommand::FadeAll:
        fadeAll(0);
        break;
    case KeyCommand::MasterUp:
    case KeyCommand::MasterDown:
        setMasterLevel(masterLevel() +
                       (command == KeyCommand::MasterUp ? SlotKeys::MasterStepDb : -SlotKeys::MasterStepDb));
        break;
    }
}

// --- sheets -----------------------------------------------------------------------------------------------

void ShowCore::renameSheet(int sheet, const QString& name)
{
    checkRange(sheet, 0, Sheets - 1);
    if (name != sheetName(sheet))
        m_settings.saveTabName(sheet, name);
    setSheetName(sheet, name);
}

void ShowCore::setSheetName(int sheet, const QString& name)
{
    checkRange(sheet, 0, Sheets - 1);
    QString& shown = m_sheetNames[static_cast<std::size_t>(sheet)];
    if (shown == name)
        return;
    shown = name;
    Q_EMIT sheetNameChanged(sheet, name);
}

void ShowCore::clearSheet(int sheet)
{
    checkRange(sheet, 0, Sheets - 1);
    for (int k = 0; k < Slots; ++k)
        SongInfo->ClearSong(sheet, k);
    follow(true);
}

// --- options ----------------------------------------------------------------------------------------------

bool ShowCore::useSongTimes() const
{
    return m_buttons->useSongTimes();
}

void ShowCore::setUseSongTimes(bool on)
{
    m_buttons->setUseSongTimes(on);
    m_settings.saveUseSongTimes(on);
}

void ShowCore::setEvenLevels(bool on)
{
    if (!m_levels)
        return;
    m_evenLevels = on;
    m_levels->setEnabled(on);
    m_settings.saveEvenLevels(on);
}

void ShowCore::setShowView(bool on)
{
    if (on == m_showView)
        return;
    m_showView = on;
    Q_EMIT showViewChanged(on);
    m_settings.saveShowView(on);
}

void ShowCore::setShowTimeLeft(bool on)
{
    m_showTimeLeft = on;
    m_settings.saveShowTimeLeft(on);
    if (WaveTimer->Enabled())
        WaveTimerTimer(); // the position turns at once, not at the next second
    else if (on)
        setStatus(0, QString()); // nothing plays: nothing to count down
}

bool ShowCore::logPlays() const
{
    return m_log->enabled();
}

void ShowCore::setLogPlays(bool on)
{
    m_log->setEnabled(on);
    m_settings.saveLogPlays(on);
    clearNews(LogNews); // off, it holds no more; on again, a disk that still fails says so again
}

QString ShowCore::outputDevice() const
{
    return m_outputs ? m_outputs->outputDevice() : QString();
}

void ShowCore::setOutputDevice(const QString& name)
{
    if (!m_outputs)
        return;
    m_outputs->setOutputDevice(name);
    m_settings.saveOutputDevice(name);
}

void ShowCore::setAudition(bool on)
{
    if (on == m_audition || (on && (!m_preview || !m_preview->unavailable().isEmpty())))
        return;
    m_audition = on;
    if (!on)
        stopAudition();
    Q_EMIT auditionChanged(on);
}

void ShowCore::setFollowing(bool on)
{
    m_following = on;
    clearNews(FollowNews); // a refusal holds only while it follows
}

bool ShowCore::refusedWhileFollowing()
{
    if (!m_following || m_followerActs > 0)
        return false;
    sayNews(FollowNews, QStringLiteral("Following the main board: presses here are refused"));
    return true;
}

bool ShowCore::stopAudition()
{
    if (!std::exchange(m_auditionPlays, false))
        return false;
    m_auditionWatch->stop();
    const bool plays = m_preview->previewPosition().has_value();
    m_preview->stopPreview();
    tellTransport();
    return plays;
}

void ShowCore::watchAudition()
{
    if (m_preview->previewPosition())
        return;
    m_auditionPlays = false;
    m_auditionWatch->stop();
    tellTransport();
}

// --- playback ---------------------------------------------------------------------------------------------

void ShowCore::SongPress(SlotRef Slot, bool Shift, PressedBy By)
{
    if (!validSlot(Slot.sheet, Slot.slot) || refusedWhileFollowing())
        return;
    if (m_audition && pressedByOperator(By)) {
        Q_EMIT slotPressed(Slot.sheet, Slot.slot);
        auditionPress(Slot, By);
        return;
    }
    if (Shift)
        QueueMode = true;
    Q_EMIT slotPressed(Slot.sheet, Slot.slot);
    TSongRecord rec;
    if (!SongInfo->GetSong(Slot.sheet, Slot.slot, rec)) {
        QueueMode = false; // a Shift+press belongs to that press only
        return;
    }
    const QString file = SongInfo->fileName(Slot.sheet, Slot.slot);
    if (m_showLayers->takesPress(Slot, file)) {
        // Over the show's song, Shift or not: a layer never joins the queue.
        QueueMode = false;
        m_pressing = Slot;
        m_pressedBy = By;
        const auto done = qScopeGuard([this] {
            m_pressing = {-1, -1};
            m_pressedBy = PressedBy::Mouse;
        });
        m_showLayers->press(Slot, file);
        return;
    }
    // A toggle button's second press stops the song it plays (asked before the press counts).
    if (!QueueMode && m_buttons->pressStops(Slot)) {
        StopClick();
        return;
    }
    m_pressedSlots.insert(file.toCaseFolded(), Slot);

    if (QueueMode) {
        QueueMode = false;
        m_play->toggleQueued(file);
        return;
    }
    m_pressing = Slot;
    m_pressedBy = By;
    const auto done = qScopeGuard([this] {
        m_pressing = {-1, -1};
        m_pressedBy = PressedBy::Mouse;
    });
    if (m_play->pressSong(file))
        clearNews(failedPressTopic(Slot));
}

void ShowCore::auditionPress(SlotRef Slot, PressedBy By)
{
    TSongRecord rec;
    if (!SongInfo->GetSong(Slot.sheet, Slot.slot, rec))
        return;
    m_pressing = Slot;
    m_pressedBy = By;
    const auto done = qScopeGuard([this] {
        m_pressing = {-1, -1};
        m_pressedBy = PressedBy::Mouse;
    });
    // From where the button would start it: the record's start time with Use Song Times.
    const double from = m_buttons->useSongTimes() ? SongTimes::of(rec).start : 0.0;
    // Stop Song and Stop All stop it while it plays, whatever the show in the house takes.
    const auto told = qScopeGuard([this] {
        m_auditionPlays = m_preview->previewPosition().has_value();
        if (m_auditionPlays)
            m_auditionWatch->start();
        tellTransport();
    });
    if (m_play->auditionSong(SongInfo->fileName(Slot.sheet, Slot.slot), from, *m_preview))
        clearNews(failedPressTopic(Slot));
}

void ShowCore::pressFailed(const QString& message)
{
    Q_EMIT Board::pressFailed(m_pressing.sheet, m_pressing.slot, message, m_pressedBy);
    if (pressedAtBoard(m_pressedBy))
        return; // the window that pressed answers its operator
    // Said once for the slot, until a press on it plays: a remote pressing it again and again
    // neither stacks boxes nor floods the news.
    const QString from = m_pressedBy == PressedBy::Midi  ? QStringLiteral("MIDI")
                         : m_pressedBy == PressedBy::Osc ? QStringLiteral("OSC")
                                                         : QStringLiteral("web");
    sayNews(failedPressTopic(m_pressing),
            QStringLiteral("A %1 press did not play: %2").arg(from, ErrorReporter::displayText(message)));
}

void ShowCore::SongRelease(SlotRef Slot, PressedBy By)
{
    // An auditioned press started nothing in the house for its release to stop.
    if (m_ended || !validSlot(Slot.sheet, Slot.slot) || (m_audition && pressedByOperator(By)) ||
        refusedWhileFollowing())
        return;
    if (m_showLayers->release(Slot))
        return;
    if (m_buttons->releaseStops(Slot))
        StopClick();
}

void ShowCore::PlayClick()
{
    if (refusedWhileFollowing())
        return;
    if (PlayState == TPlayState::psPaused) {
        m_showLayers->resumeAll(); // what Pause paused goes on together
        Transport t = m_transport;
        t.play = false;
        t.pause = true;
        setTransport(t);
        if (IsCdTrack(m_play->currentSong())) {
            CDPlayer->PlayTrack(0);
            // The device reports no resume (it last reported playing), so the show marks
            // it: a paused state here would turn the next press into a resume.
            PlayState = TPlayState::psPlaying;
            UpdatePlayState();
        } else {
            WavePlayer.play();
        }
        return;
    }
    m_play->startQueue(PlayLogic::StartedBy::Play);
}

void ShowCore::UpdatePlayState()
{
    switch (PlayState) {
    case TPlayState::psStopped:
        m_log->ended();
        m_play->endFade();
        if (m_headDetached)
            m_headDetached = false; // the song that ended had left the queue already
        else if (!PlayQueue.isEmpty())
            PlayQueue.removeFirst();
        if (!PlayQueue.isEmpty())
            m_play->startQueue(PlayLogic::StartedBy::Queue); // the queue moves on by itself
        else
            m_play->showIdle();
        follow(false);
        break;
    case TPlayState::psPaused: {
        m_log->paused();
        Transport t = m_transport;
        t.play = true;
        t.pause = false;
        setTransport(t);
        followPlay(); // a paused song keeps its colour
        break;
    }
    case TPlayState::psPlaying: {
        m_log->resumed();
        Transport t = m_transport;
        t.play = false;
        t.stop = true;
        t.pause = true;
        setTransport(t);
        follow(false);
        break;
    }
    }
}

void ShowCore::WavePlayerPlayStateChange(int, int NewState)
{
    QCoreApplication::processEvents();
    if (m_ended)
        return;
    // A command that ran just now may have moved the player on (a Stop Song that met the
    // natural end of the song has started the next one): a report of a state the player has
    // left is old news, and acting on it would drop the next song too.
    if (NewState >= MediaPlayer::Stopped && NewState <= MediaPlayer::Playing &&
        NewState != WavePlayer.playState())
        return;
    switch (NewState) {
    case MediaPlayer::Stopped:
        PlayState = TPlayState::psStopped;
        break;
    case MediaPlayer::Paused:
        PlayState = TPlayState::psPaused;
        break;
    case MediaPlayer::Playing:
        PlayState = TPlayState::psPlaying;
        break;
    default:
        break;
    }
    UpdatePlayState();
}

void ShowCore::WavePlayerPlaybackLost(const QString& message)
{
    if (m_ended || WavePlayer.playState() != MediaPlayer::Stopped)
        return;
    // The show cannot go on without a sound output; the queue stays for when it is back.
    sayNews(ServerNews, message);
    m_play->holdQueue();
}

void ShowCore::CDStateChanged(TCDState State)
{
    if (m_ended)
        return;
    if (State == TCDState::cdStopped)
        PlayState = TPlayState::psStopped;
    else if (State == TCDState::cdPlaying)
        PlayState = TPlayState::psPlaying;
    UpdatePlayState();
}

void ShowCore::StopSongClick()
{
    if (refusedWhileFollowing())
        return;
    if (stopAudition() && !m_transport.stop)
        return; // only the audition played
    m_log->ending(PlayLog::Ended::Stop);
    if (IsCdTrack(m_play->currentSong())) {
        CDPlayer->Stop();
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
        return;
    }
    if (WavePlayer.playState() == MediaPlayer::Stopped && !PlayQueue.isEmpty()) {
        // Nothing plays (the head could not be found): skip it as a stop would.
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
        return;
    }
    WavePlayer.stop();
}

void ShowCore::StopClick()
{
    if (refusedWhileFollowing())
        return;
    Transport t = m_transport;
    t.pause = false;
    setTransport(t);
    StopSongClick();
}

void ShowCore::StopAllClick()
{
    if (m_following && m_followerActs == 0) {
        // A panic is this board's own: it stops here, and the main board is no longer followed.
        m_following = false;
        sayNews(FollowNews, QStringLiteral("Stop All: this board no longer follows the main board"));
        Q_EMIT followingEnded();
    }
    const bool layersStopped = m_showLayers->stopAll();
    if (stopAudition() && !m_transport.stopAll)
        return; // only the audition played: the queue waits, as it would have
    if (layersStopped && !m_transport.stopAll)
        return; // only layers played: the queue waits too
    const QString H = m_play->currentSong();
    m_log->ending(PlayLog::Ended::StopAll);
    PlayQueue.clear();
    if (IsCdTrack(H)) {
        CDPlayer->Stop();
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
    } else if (WavePlayer.playState() == MediaPlayer::Stopped) {
        // Nothing to report a stop: return to the idle state here.
        PlayState = TPlayState::psStopped;
        UpdatePlayState();
    } else {
        WavePlayer.stop();
    }
    follow(false);
}

void ShowCore::PauseClick()
{
    if (refusedWhileFollowing())
        return;
    if (PlayState != TPlayState::psPlaying && !m_showLayers->isEmpty()) {
        // The show's song does not play: Pause is the layers' alone, and resumes them when
        // they are all paused (Play would start the queue).
        if (m_showLayers->anyPlaying())
            m_showLayers->pauseAll();
        else if (PlayState == TPlayState::psStopped)
            m_showLayers->resumeAll();
        return;
    }
    m_showLayers->pauseAll();
    if (IsCdTrack(m_play->currentSong())) {
        CDPlayer->Pause();
        PlayState = TPlayState::psPaused;
        UpdatePlayState();
        return;
    }
    WavePlayer.pause();
}

void ShowCore::WaveTimerTimer()
{
    if (const double length = m_play->length(); m_showTimeLeft && length > 0) {
        const double left = length - m_play->position();
        setStatus(0, FormatTimeLeft(left));
        setFinalSeconds(std::nearbyint(left) <= FinalSeconds);
        return;
    }
    setFinalSeconds(false);
    if (IsCdTrack(m_play->currentSong()))
        setStatus(0, CDPlayer->PositionText());
    else
        setStatus(0, WavePositionText());
}

QString ShowCore::WavePositionText() const
{
    return FormatSeconds(WavePlayer.currentPosition());
}

void ShowCore::FadeClick()
{
    if (refusedWhileFollowing())
        return;
    FadeTimer->setEnabled(true);
    m_play->prepareNext();
}

void ShowCore::FadeTimerTimer()
{
    if (const int step = ShowLayers::fadeStep(FadeSetting))
        WavePlayer.setVolume(WavePlayer.volume() + step);
    if (WavePlayer.volume() <= ShowLayers::FadedVolume) {
        FadeTimer->setEnabled(false);
        WavePlayer.setVolume(0);
        m_log->ending(PlayLog::Ended::Fade);
        WavePlayer.stop();
    }
}
