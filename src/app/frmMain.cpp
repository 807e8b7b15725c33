// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMain.h"

#include "app/BoardControl.h"
#include "app/BoardDrop.h"
#include "app/BoardKeyboard.h"
#include "app/BoardSettings.h"
#include "app/ButtonPlay.h"
#include "app/CollectShow.h"
#include "app/KeyListRows.h"
#include "app/MainFormLayout.h"
#include "app/MenuShortcuts.h"
#include "app/MidiControl.h"
#include "app/PlayLog.h"
#include "app/PlayLogic.h"
#include "app/PreviewControl.h"
#include "app/SlotKeyControl.h"
#include "app/SongFileWatch.h"
#include "app/SoundNews.h"
#include "app/StatusNews.h"
#include "app/frmFade.h"
#include "app/frmKeys.h"
#include "app/frmOutputDevice.h"
#include "audio/MediaPlayer.h"
#include "audio/SongLevels.h"
#include "controls/Tranbtn.h"
#include "devices/Recorder.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReporter.h"
#include "platform/Guard.h"
#include "platform/Timer.h"
#include "songs/SongEdit.h"
#include "songs/SongStruc.h"
#include "songs/schedual.h"
#include "windows/About.h"
#include "windows/help.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleOptionTabWidgetFrame>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

/// The position panel's width as the window lays it out.
constexpr int PositionPanelWidth = 75;

} // namespace

TMainForm::TMainForm(MainFormServices services, std::unique_ptr<TSongInfo> songInfo, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_registry(services.registry)
    , m_settings(services.registry)
    , m_dialogs(services.dialogs)
    , WavePlayer(services.WavePlayer)
    , m_cdTracks(services.cdTracks)
    , m_drives(services.drives)
    , m_outputs(services.outputs)
    , m_levels(services.levels)
    , SongInfo(std::move(songInfo))
    , m_keys(new SlotKeyControl(this, m_settings, m_dialogs))
    , m_songFile(new SongFileWatch(*this, *SongInfo))
    , m_play(std::make_unique<PlayLogic>(*this))
    , m_buttons(std::make_unique<ButtonPlay>(*this, WavePlayer))
    , m_log(std::make_unique<PlayLog>(PlayLog::defaultFolder(),
                                      [this](const QString& message) { sayNews(LogNews, message); }))
{
    connectGuarded(m_keys, &SlotKeyControl::pressed, this, &TMainForm::SlotKeyPressed);
    connectGuarded(m_keys, &SlotKeyControl::changed, this, &TMainForm::keysChanged);
    connectGuarded(m_keys, &SlotKeyControl::commandPressed, this, &TMainForm::CommandKeyPressed);
    connectGuarded(m_keys, &SlotKeyControl::released, this, &TMainForm::SlotReleased);
    MainFormLayout::build(*this);
    // An error in creation is reported and the window is still made and shown.
    guard([this] { FormCreate(); });
    m_board = new BoardControl(*this, this);
    if (std::all_of(SongButtons.begin(), SongButtons.end(), [](TMTranBtn* b) { return b != nullptr; })) {
        m_keyboard = new BoardKeyboard(this, *m_board, Tabs, SongButtons,
                                       {tbtnOpen, btnPlay, btnStop, btnPause, btnFade, btnRecord, btnHelp});
        connectGuarded(m_keyboard, &BoardKeyboard::menuRequested, this, &TMainForm::openButtonMenu);
        keysChanged();
        m_keyboard->focusSlot(0); // the shown sheet's first button has the focus when the window opens
        new BoardDrop(this, *SongInfo, *this, m_dialogs, SongButtons); // files dropped onto the buttons
    }
}

Board& TMainForm::board() const
{
    return *m_board;
}

int TMainForm::focusedSlot() const
{
    return m_keyboard ? m_keyboard->focusedSlot() : 0;
}

bool TMainForm::focusNextPrevChild(bool next)
{
    bool moved = false;
    guard([&] { moved = m_keyboard && m_keyboard->focusNextPrev(next); });
    return moved || QMainWindow::focusNextPrevChild(next);
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::sayNews(const QString& topic, const QString& text)
{
    NewsPanel->say(topic, text);
}

void TMainForm::clearNews(const QString& topic)
{
    NewsPanel->clear(topic);
}

void TMainForm::setMidi(MidiControl* midi)
{
    m_midi = midi;
    m_keys->setMidi(midi);
}

void TMainForm::loadSongs()
{
    m_songFile->loadSongs();
}

// --- creation, showing, shutdown ------------------------------------------------------------------------

void TMainForm::FormCreate()
{
    FadeSetting = 3;
    // Without a CD player the board still comes up whole; a CD song then explains why it cannot play.
    try {
        CDPlayer = std::make_unique<TCDPlayer>(0, *this, *this);
    } catch (const std::exception& e) {
        CDPlayer = std::make_unique<TNoCDPlayer>(QString::fromUtf8(e.what()), *this);
    }
    PlayQueue.clear();
    // A settings file that cannot be read is reported, and the board still gets its buttons.
    guard([this] { LoadTabNames(); });
    guard([this] { m_keys->load(); });
    guard([this] { LoadOutputDevice(); });
    guard([this] { LoadEvenLevels(); });
    guard([this] {
        mnuShowKeys->setChecked(m_settings.showKeys());
        mnuShowTimeLeft->setChecked(m_settings.showTimeLeft());
        mnuUseSongTimes->setChecked(m_settings.useSongTimes());
        m_buttons->setUseSongTimes(m_settings.useSongTimes());
        mnuLogPlays->setChecked(m_settings.logPlays());
        m_log->setEnabled(m_settings.logPlays());
        fitPositionPanel();
    });
    // The tab strip's buttons in the order they were made: MTranBtn1 is slot 0.
    const QList<TMTranBtn*> children = TabControl->findChildren<TMTranBtn*>(Qt::FindDirectChildrenOnly);
    if (children.size() != SlotCount)
        throw RangeError(QStringLiteral("Range check error"));
    for (int k = 0; k < SlotCount; ++k) {
        SongButtons[static_cast<std::size_t>(k)] = children[k];
        SongButtons[static_cast<std::size_t>(k)]->setBtnNumber(k);
        SongButtons[static_cast<std::size_t>(k)]->setBorder(BStyle::BsIe);
        SongButtons[static_cast<std::size_t>(k)]->setShowKey(mnuShowKeys->isChecked());
    }
    RefreshButtons(0);
}

void TMainForm::LoadTabNames()
{
    const QStringList names = m_settings.tabNames();
    for (int i = 0; i < SheetCount; ++i) {
        if (!names[i].isEmpty())
            Tabs->setTabText(i, names[i]);
    }
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        guard([this] { FormShow(); });
    }
}

void TMainForm::FormShow()
{
    if (m_splash && m_splash->isVisible())
        m_splash->close();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Ending the program cuts the music: in the middle of a show it asks first.
    bool end = true;
    if (m_askBeforeExit && !m_destroyed && !m_songFile->waiting() && showInProgress()) {
        guard([&] {
            end = m_dialogs.messageBox(this, QStringLiteral("A song is playing. Exit Sonavex?"),
                                       Dialogs::Style::Confirmation,
                                       Dialogs::Buttons::YesNoDefaultNo) == Dialogs::Answer::Yes;
        });
    }
    if (!end) {
        event->ignore();
        return;
    }
    if (!m_destroyed && !m_songFile->readyToClose()) {
        event->ignore(); // the window stays up until the song file's drive answers
        return;
    }
    event->accept();
    QMainWindow::closeEvent(event);
}

void TMainForm::Exit1Click()
{
    if (close())
        QCoreApplication::quit();
}

bool TMainForm::endShowWithoutAsking()
{
    m_askBeforeExit = false;
    return close();
}

bool TMainForm::showInProgress() const
{
    return m_play->somethingPlays() || !PlayQueue.isEmpty();
}

void TMainForm::FormDestroy()
{
    m_destroyed = true;
    // Closing the window deactivates it, which lets go of a key held on a button: not now.
    if (m_keyboard)
        removeEventFilter(m_keyboard);
    // No signal reaches the window's handlers from here on: not from the players, which
    // outlive it, nor from its children while they are destroyed after the song store.
    QObject::disconnect(&WavePlayer, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    // Each step goes on even when one before it failed: the song store must be saved.
    guard([this] {
        QStringList names;
        for (int i = 0; i < SheetCount; ++i)
            names << Tabs->tabText(i);
        m_settings.saveTabNames(names);
    });
    PlayQueue.clear();
    guard([this] { m_log->ended(PlayLog::Ended::Quit); });
    guard([this] {
        WavePlayer.setSendPlayStateChangeEvents(false);
        WavePlayer.stop();
    });
    guard([this] { CDPlayer.reset(); });
    guard([this] { m_soundNews.reset(); });
    FadeTimer->setEnabled(false);
    WaveTimer->setEnabled(false);
    guard([this] { SongInfo.reset(); });
}

// --- sheets and buttons ---------------------------------------------------------------------------------

QString TMainForm::tabCaption(int index) const
{
    checkRange(index, 0, SheetCount - 1);
    return Tabs->tabText(index);
}

void TMainForm::setTabCaption(int index, const QString& caption)
{
    checkRange(index, 0, SheetCount - 1);
    Tabs->setTabText(index, caption);
    Q_EMIT boardChanged();
}

int TMainForm::shownTab() const
{
    return Tabs->currentIndex();
}

void TMainForm::RefreshButtons(int Sheet)
{
    const QueueView view = queueView();
    for (int k = 0; k < SlotCount; ++k) {
        TMTranBtn* B = SongButtons[static_cast<std::size_t>(k)];
        TSongRecord rec;
        if (SongInfo->GetSong(Sheet, k, rec)) {
            B->setCaption(SongInfo->title(Sheet, k));
            B->setFontColor(captionColour(slotStateOf(SongInfo->fileName(Sheet, k), view)));
        } else {
            B->setCaption(EmptyTitle);
            B->setFontColor(captionColour(SlotState::Empty));
        }
        B->update();
    }
    showKeyHints(Sheet);
    updateHotList();
    Q_EMIT boardChanged();
}

QueueView TMainForm::queueView() const
{
    // Colours follow what plays: a playing song taken out of the queue is still green,
    // and the queue's head is then the next song, yellow.
    return {PlayQueue, PlayState == TPlayState::psPlaying, m_headDetached, m_playingPath};
}

std::optional<SlotRef> TMainForm::pressedSlotOf(const QString& file) const
{
    const auto it = m_pressedSlots.constFind(file.toCaseFolded());
    if (it == m_pressedSlots.cend())
        return std::nullopt;
    return *it;
}

void TMainForm::updateHotList()
{
    // Songs the operator may press next: the shown sheet and the queue.
    QStringList hot = PlayQueue;
    const int sheet = shownTab();
    for (int k = 0; k < SlotCount; ++k) {
        if (sheet >= 0) {
            const QString file = SongInfo->fileName(sheet, k);
            if (!file.isEmpty() && !IsCdTrack(file) && !hot.contains(file))
                hot << file;
        }
    }
    hot.removeIf([](const QString& f) { return IsCdTrack(f); });
    for (QString& file : hot)
        file = SongInfo->playPath(file); // found songs are decoded ahead where they play from
    hot.removeDuplicates();
    if (hot == m_hotList)
        return; // every press redraws; the decoder need not start over
    m_hotList = hot;
    WavePlayer.setHotList(hot);
}

void TMainForm::TabControlChange(int index)
{
    RefreshButtons(index);
}

void TMainForm::mnuChgTabNameClick()
{
    const int i = Tabs->currentIndex();
    const QString Old = Tabs->tabText(i);
    const QString text = m_dialogs.inputBox(this, QStringLiteral("New Tab Name"),
                                            QStringLiteral("Change ") + Old + QStringLiteral(" to"), Old);
    if (text != Old)
        m_settings.saveTabName(i, text);
    Tabs->setTabText(i, text);
    Q_EMIT boardChanged();
}

void TMainForm::mnuClearTabClick()
{
    const int s = shownTab();
    for (int k = 0; k < SlotCount; ++k) {
        SongInfo->ClearSong(s, k);
        slotCleared(s, k);
        SongButtons[static_cast<std::size_t>(k)]->setFontColor(QColor(0, 0, 0));
        SongButtons[static_cast<std::size_t>(k)]->setCaption(EmptyTitle);
        SongButtons[static_cast<std::size_t>(k)]->update();
    }
}

void TMainForm::mnuIEStyleClick()
{
    // The action toggled its own check mark already.
    const BStyle style = mnuIEStyle->isChecked() ? BStyle::BsIe : BStyle::BsNormal;
    for (TMTranBtn* b : SongButtons)
        b->setBorder(style);
}

void TMainForm::mnuStayOnTopClick()
{
    const QRect geometryBefore = geometry();
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, mnuStayOnTop->isChecked());
    setGeometry(geometryBefore);
    if (wasVisible)
        show();
}

// --- context menu -----------------------------------------------------------------------------------------

void TMainForm::openTabPopup(const QPoint& globalPos)
{
    TSongRecord rec;
    mnuButtonSettings->setEnabled(Tag >= 0 && Tag < SlotCount && SongInfo->GetSong(shownTab(), Tag, rec));
    TabPopup->popup(globalPos);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // The tab strip's menu opens when the right button is released over it.
    if ((watched == Tabs || watched == TabControl) && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            openTabPopup(me->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::contextMenuEvent(QContextMenuEvent* event)
{
    // The menu key opens the menu of the focused button (or the one focused last).
    if (event->reason() == QContextMenuEvent::Keyboard) {
        guard([this] { openButtonMenu(focusedSlot()); });
        event->accept();
        return;
    }
    QMainWindow::contextMenuEvent(event);
}

void TMainForm::openButtonMenu(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    // Its items act on the button pressed last: the menu's button becomes it, unpressed.
    Tag = slot;
    TMTranBtn* b = SongButtons[static_cast<std::size_t>(slot)];
    openTabPopup(b->mapToGlobal(b->rect().center()));
}

// --- other windows ----------------------------------------------------------------------------------------

void TMainForm::tbtnOpenClick()
{
    TfrmSchedual editor(this, *SongInfo, *this, m_dialogs, m_cdTracks, m_drives);
    editor.exec();
}

void TMainForm::mnuOpenClick()
{
    tbtnOpenClick();
}

void TMainForm::mnuCollectShowClick()
{
    if (findChild<CollectShow*>())
        return; // one at a time: its progress window is open
    if (!SongInfo->fileTaken()) {
        m_dialogs.messageBox(
            this, QStringLiteral("The song file is still being read: collect the show when it is in."),
            Dialogs::Style::Information, Dialogs::Buttons::Ok);
        return;
    }
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Collect Show into an empty folder"));
    if (folder.isEmpty())
        return;
    new CollectShow(this, m_dialogs, ShowCollector::plan(*SongInfo, m_registry, folder));
}

void TMainForm::EditSongStats1Click()
{
    if (Tag < 0 || Tag >= SlotCount)
        return;
    TfrmSongEdit dialog(this, *SongInfo, shownTab(), Tag, m_levels, m_preview);
    if (dialog.exec() == QDialog::Accepted)
        RefreshButtons(shownTab()); // a new title shows at once
}

void TMainForm::mnuButtonSettingsClick()
{
    if (Tag >= 0 && Tag < SlotCount)
        m_buttons->editSettings(this, {shownTab(), Tag});
}

void TMainForm::mnuUseSongTimesClick()
{
    m_buttons->setUseSongTimes(mnuUseSongTimes->isChecked());
    m_settings.saveUseSongTimes(mnuUseSongTimes->isChecked());
}

void TMainForm::mnuLogPlaysClick()
{
    const bool on = mnuLogPlays->isChecked();
    m_log->setEnabled(on);
    m_settings.saveLogPlays(on);
    clearNews(LogNews); // off, it holds no more; on again, a disk that still fails says so again
}

void TMainForm::btnRecordClick()
{
    TRecForm recorder(this, m_dialogs);
    recorder.exec();
}

void TMainForm::btnHelpClick()
{
    TfrmHelp help(this, m_registry);
    help.exec();
}

void TMainForm::Contents1Click()
{
    btnHelpClick();
}

void TMainForm::About1Click()
{
    QStringList notes;
    if (m_levels)
        if (const QString problem = m_levels->cacheProblem(); !problem.isEmpty())
            notes << problem;
    if (m_midi)
        if (const QString note = m_midi->aboutNote(); !note.isEmpty())
            notes << note;
    if (const QString& unused = SongInfo->unusedSlotsNote(); !unused.isEmpty())
        notes << unused;
    TfrmAbout about(this, notes);
    about.exec();
}

void TMainForm::FadeControl1Click()
{
    TfrmFadeCtrl dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        FadeSetting = dialog.tbFade->value();
}

// --- playback
// -----------------------------------------------------------------------------------------------

void TMainForm::MTranBtn1MouseDown(TMTranBtn* Sender, Qt::MouseButton, Qt::KeyboardModifiers Shift, int, int)
{
    if (Shift.testFlag(Qt::ShiftModifier))
        QueueMode = true;
    const int n = Sender->BtnNumber();
    Tag = n;
    TSongRecord rec;
    if (n < 0 || n >= SlotCount || !SongInfo->GetSong(pressedSheet(), n, rec)) {
        QueueMode = false; // a Shift+press belongs to that press only
        return;
    }
    const QString file = SongInfo->fileName(pressedSheet(), n);
    // A toggle button's second press stops the song it plays (asked before the press counts).
    if (!QueueMode && m_buttons->pressStops({pressedSheet(), n})) {
        btnStopClick();
        return;
    }
    m_pressedSlots.insert(file.toCaseFolded(), {pressedSheet(), n});

    if (QueueMode) {
        QueueMode = false;
        m_play->toggleQueued(file);
        return;
    }
    m_pressing = {pressedSheet(), n};
    const auto done = qScopeGuard([this] { m_pressing = {-1, -1}; });
    if (m_play->pressSong(file))
        clearNews(failedPressTopic(m_pressing));
}

QString TMainForm::failedPressTopic(SlotRef slot)
{
    return QStringLiteral("press %1 %2").arg(slot.sheet).arg(slot.slot);
}

void TMainForm::pressFailed(const QString& message)
{
    Q_EMIT songPressFailed(m_pressing.sheet, m_pressing.slot, message, m_pressedBy);
    if (pressedAtBoard(m_pressedBy))
        return;
    // Said once for the slot, until a press on it plays: a remote pressing it again and again
    // neither stacks boxes nor floods the panel.
    const QString from = m_pressedBy == PressedBy::Midi  ? QStringLiteral("MIDI")
                         : m_pressedBy == PressedBy::Osc ? QStringLiteral("OSC")
                                                         : QStringLiteral("web");
    sayNews(failedPressTopic(m_pressing),
            QStringLiteral("A %1 press did not play: %2").arg(from, ErrorReporter::displayText(message)));
}

void TMainForm::showPressBox(const QString& message)
{
    if (m_boxesOpen.contains(message))
        return;
    m_boxesOpen << message;
    const auto shown = qScopeGuard([this, message] { m_boxesOpen.removeOne(message); });
    m_dialogs.messageBox(this, message, Dialogs::Style::Error, Dialogs::Buttons::Ok);
}

void TMainForm::btnPlayClick()
{
    if (PlayState == TPlayState::psPaused) {
        btnPlay->setEnabled(false);
        btnPause->setEnabled(true);
        if (IsCdTrack(m_play->currentSong())) {
            CDPlayer->PlayTrack(0);
            // The device reports no resume (it last reported playing), so the board
            // marks it: a paused state here would turn the next press into a resume.
            PlayState = TPlayState::psPlaying;
            UpdatePlayState();
        } else {
            WavePlayer.play();
        }
        return;
    }
    m_play->startQueue(PlayLogic::StartedBy::Play);
}

void TMainForm::UpdatePlayState()
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
        RefreshButtons(shownTab());
        break;
    case TPlayState::psPaused:
        m_log->paused();
        btnPlay->setEnabled(true);
        btnPause->setEnabled(false);
        Q_EMIT boardChanged();
        break;
    case TPlayState::psPlaying:
        m_log->resumed();
        btnPlay->setEnabled(false);
        btnStop->setEnabled(true);
        btnPause->setEnabled(true);
        RefreshButtons(shownTab());
        break;
    }
}

void TMainForm::WavePlayerPlayStateChange(int, int NewState)
{
    QCoreApplication::processEvents();
    if (m_destroyed)
        return;
    // A handler that ran just now may have moved the player on (a Stop Song that met the
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

void TMainForm::WavePlayerPlaybackLost(const QString& message)
{
    if (m_destroyed || WavePlayer.playState() != MediaPlayer::Stopped)
        return;
    // The show cannot go on without a sound output; the queue stays for when it is back.
    sayNews(ServerNews, message);
    m_play->holdQueue();
}

void TMainForm::CDStateChanged(TCDState State)
{
    if (State == TCDState::cdStopped)
        PlayState = TPlayState::psStopped;
    else if (State == TCDState::cdPlaying)
        PlayState = TPlayState::psPlaying;
    UpdatePlayState();
}

void TMainForm::mnuStopSongClick()
{
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

void TMainForm::btnStopClick()
{
    btnPause->setEnabled(false);
    mnuStopSongClick();
}

void TMainForm::mnuStopAllClick()
{
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
    RefreshButtons(shownTab());
}

void TMainForm::btnPauseClick()
{
    if (IsCdTrack(m_play->currentSong())) {
        CDPlayer->Pause();
        PlayState = TPlayState::psPaused;
        UpdatePlayState();
        return;
    }
    WavePlayer.pause();
}

void TMainForm::WaveTimerTimer()
{
    if (const double length = m_play->length(); mnuShowTimeLeft->isChecked() && length > 0) {
        const double left = length - m_play->position();
        StatusPanels[0]->setText(FormatTimeLeft(left));
        setFinalSeconds(std::nearbyint(left) <= FinalSeconds);
        return;
    }
    setFinalSeconds(false);
    if (IsCdTrack(m_play->currentSong()))
        StatusPanels[0]->setText(CDPlayer->PositionText());
    else
        StatusPanels[0]->setText(WavePositionText());
}

void TMainForm::setFinalSeconds(bool on)
{
    if (on == m_finalSeconds)
        return; // the style is set on a change only, never on every tick
    m_finalSeconds = on;
    StatusPanels[0]->setStyleSheet(on ? QStringLiteral("color: rgb(255, 0, 0);")
                                      : QStringLiteral("color: rgb(0, 128, 0);"));
}

void TMainForm::fitPositionPanel()
{
    // The minus takes a digit's room in the segment face: the panel grows by it while the time
    // left shows, and is its own width otherwise.
    QLabel* panel = StatusPanels[0];
    const int needed = panel->fontMetrics().horizontalAdvance(QStringLiteral("-00:00")) +
                       2 * panel->frameWidth() + 2 * panel->fontMetrics().averageCharWidth() / 3;
    panel->setFixedWidth(mnuShowTimeLeft->isChecked() ? std::max(PositionPanelWidth, needed)
                                                      : PositionPanelWidth);
}

void TMainForm::mnuShowTimeLeftClick()
{
    fitPositionPanel();
    m_settings.saveShowTimeLeft(mnuShowTimeLeft->isChecked());
    if (WaveTimer->Enabled())
        WaveTimerTimer(); // the panel turns at once, not at the next second
}

void TMainForm::mnuShowKeysClick()
{
    const bool on = mnuShowKeys->isChecked();
    for (TMTranBtn* b : SongButtons)
        if (b)
            b->setShowKey(on);
    m_settings.saveShowKeys(on);
}

QString TMainForm::WavePositionText() const
{
    return FormatSeconds(WavePlayer.currentPosition());
}

void TMainForm::btnFadeClick()
{
    FadeTimer->setEnabled(true);
    m_play->prepareNext();
}

void TMainForm::FadeTimerTimer()
{
    static constexpr int Steps[] = {-500, -400, -300, -200, -100};
    if (FadeSetting >= 1 && FadeSetting <= 5)
        WavePlayer.setVolume(WavePlayer.volume() + Steps[FadeSetting - 1]);
    if (WavePlayer.volume() <= -6000) {
        FadeTimer->setEnabled(false);
        WavePlayer.setVolume(0);
        m_log->ending(PlayLog::Ended::Fade);
        WavePlayer.stop();
    }
}

// --- keys
// ---------------------------------------------------------------------------------------------------

void TMainForm::showKeyHints(int Sheet)
{
    for (int k = 0; k < SlotCount; ++k) {
        if (TMTranBtn* b = SongButtons[static_cast<std::size_t>(k)])
            b->setKeyHint(m_keys->keyText(SlotRef{Sheet, k}));
    }
}

void TMainForm::keysChanged()
{
    showKeyHints(shownTab());
    if (!m_keyboard)
        return;
    QList<QKeySequence> taken;
    for (const QKeySequence& key : m_keys->keys().keys()) {
        taken << key;
        if (m_keys->keys().slotOf(key)) // Shift with a slot's key queues it
            taken << QKeySequence(
                QKeyCombination(key[0].keyboardModifiers() | Qt::ShiftModifier, key[0].key()));
    }
    m_keyboard->setTakenKeys(taken);
}

QHash<QKeySequence, QString> TMainForm::menuKeys() const
{
    return MenuShortcuts::used(menuBar());
}

QHash<QKeySequence, QString> TMainForm::reservedKeys() const
{
    QHash<QKeySequence, QString> reserved;
    const QHash<QKeySequence, QString> menus = menuKeys();
    for (auto it = menus.cbegin(); it != menus.cend(); ++it)
        reserved.insert(it.key(), QStringLiteral("the menu (%1)").arg(it.value()));
    const QHash<QKeySequence, QString> own = BoardKeyboard::ownKeys();
    for (auto it = own.cbegin(); it != own.cend(); ++it)
        if (!reserved.contains(it.key()))
            reserved.insert(it.key(), QStringLiteral("the board (%1)").arg(it.value()));
    return reserved;
}

void TMainForm::mnuAssignKeyClick()
{
    if (Tag < 0 || Tag >= SlotCount)
        return;
    m_keys->assign(SlotRef{shownTab(), Tag}, SongButtons[static_cast<std::size_t>(Tag)]->Caption(),
                   reservedKeys(), [this](int sheet) { return Tabs->tabText(sheet); });
}

void TMainForm::assignCommandKey(KeyCommand command)
{
    m_keys->assign(command, SlotKeys::commandName(command), reservedKeys(),
                   [this](int sheet) { return Tabs->tabText(sheet); });
}

QList<KeyListRow> TMainForm::keyListRows() const
{
    return KeyListRows::build(
        *m_keys, m_midi, [this](int sheet) { return Tabs->tabText(sheet); },
        [this](int sheet, int slot) { return SongInfo->title(sheet, slot); });
}

void TMainForm::mnuKeysClick()
{
    TfrmKeys list(this, m_dialogs,
                  {[this] { return keyListRows(); },
                   [this](const KeyTarget& target) {
                       if (const auto* slot = std::get_if<SlotRef>(&target)) {
                           m_keys->assign(*slot, SongInfo->title(slot->sheet, slot->slot), reservedKeys(),
                                          [this](int sheet) { return Tabs->tabText(sheet); });
                       } else {
                           assignCommandKey(std::get<KeyCommand>(target));
                       }
                   },
                   [this](const KeyTarget& target) { m_keys->clear(target); },
                   m_midi ? std::function<void()>([this] { m_midi->editInput(this); }) : nullptr});
    list.exec();
}

void TMainForm::CommandKeyPressed(KeyCommand command)
{
    Board& b = board();
    switch (command) {
    case KeyCommand::Play:
        b.play();
        break;
    case KeyCommand::StopSong:
        b.stopSong();
        break;
    case KeyCommand::StopAll:
        b.stopAll();
        break;
    case KeyCommand::Pause:
        b.pause();
        break;
    case KeyCommand::Fade:
        b.fade(0);
        break;
    case KeyCommand::NextSheet:
    case KeyCommand::PrevSheet:
        b.showSheet((b.shownSheet() + (command == KeyCommand::NextSheet ? 1 : Board::Sheets - 1)) %
                    Board::Sheets);
        break;
    }
}

void TMainForm::mnuClearKeyClick()
{
    if (Tag >= 0 && Tag < SlotCount)
        m_keys->clear(SlotRef{shownTab(), Tag});
}

void TMainForm::slotCleared(int Sheet, int Slot)
{
    m_keys->clear(SlotRef{Sheet, Slot});
}

std::any TMainForm::slotExtras(int Sheet, int Slot) const
{
    return m_keys->slotAssignments(SlotRef{Sheet, Slot});
}

void TMainForm::restoreSlotExtras(int Sheet, int Slot, const std::any& Extras)
{
    if (const auto* kept = std::any_cast<SlotKeyControl::SlotAssignments>(&Extras))
        m_keys->restoreSlot(SlotRef{Sheet, Slot}, *kept);
}

void TMainForm::sheetsExchanged(int SheetA, int SheetB)
{
    m_keys->sheetsExchanged(SheetA, SheetB);
}

void TMainForm::SlotKeyPressed(SlotRef Slot, bool Shift)
{
    SlotPressed(Slot, Shift, PressedBy::Key);
}

void TMainForm::SlotPressed(SlotRef Slot, bool Shift, PressedBy By)
{
    if (Slot.slot < 0 || Slot.slot >= SlotCount || Slot.sheet < 0 || Slot.sheet >= SheetCount)
        return;
    // The press goes through the button's own handler, on the key's sheet. "The slot pressed
    // last" stays a slot of the shown sheet.
    const int shownTag = Tag;
    m_keySheet = Slot.sheet;
    m_pressedBy = By;
    const auto restore = qScopeGuard([&] {
        m_keySheet = -1;
        m_pressedBy = PressedBy::Mouse;
        if (Slot.sheet != shownTab())
            Tag = shownTag;
    });
    MTranBtn1MouseDown(SongButtons[static_cast<std::size_t>(Slot.slot)], Qt::LeftButton,
                       Shift ? Qt::ShiftModifier : Qt::NoModifier, 0, 0);
}

void TMainForm::SlotReleased(SlotRef Slot)
{
    if (m_destroyed)
        return;
    if (m_buttons->releaseStops(Slot))
        btnStopClick();
}

// --- output device ----------------------------------------------------------------------------------------

void TMainForm::LoadOutputDevice()
{
    if (!m_outputs)
        return;
    m_soundNews = std::make_unique<SoundNews>(*this, *m_outputs);
    m_outputs->setOutputDevice(m_settings.outputDevice());
}

void TMainForm::mnuOutputDeviceClick()
{
    if (!m_outputs)
        return;
    TfrmOutputDevice dialog(this, m_outputs->outputDevices(), m_outputs->outputDevice());
    if (m_preview)
        dialog.offerPreview(m_preview->output());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.chosen();
    m_outputs->setOutputDevice(name);
    m_settings.saveOutputDevice(name);
    if (m_preview)
        m_preview->setOutput(dialog.chosenPreview());
}

void TMainForm::setPreview(PreviewControl* preview)
{
    m_preview = preview;
    if (!preview)
        return;
    const QPointer<TMainForm> form(this);
    preview->addMenuItems(TabPopup, [form] {
        if (!form || form->Tag < 0 || form->Tag >= SlotCount || form->shownTab() < 0)
            return QString();
        const QString file = form->SongInfo->fileName(form->shownTab(), form->Tag);
        return file.isEmpty() ? file : form->SongInfo->playPath(file);
    });
    preview->load([form](const QString& text) {
        if (form && text.isEmpty())
            form->clearNews(PreviewNews);
        else if (form)
            form->sayNews(PreviewNews, text);
    });
}

// --- even levels ------------------------------------------------------------------------------------------

void TMainForm::LoadEvenLevels()
{
    if (!m_levels)
        return;
    const bool on = m_settings.evenLevels();
    mnuEvenLevels->setChecked(on);
    m_levels->setEnabled(on);
}

void TMainForm::mnuEvenLevelsClick()
{
    if (!m_levels)
        return;
    const bool on = mnuEvenLevels->isChecked();
    m_levels->setEnabled(on);
    m_settings.saveEvenLevels(on);
}
