// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMain.h"

#include "app/BoardDrop.h"
#include "app/BoardKeyboard.h"
#include "app/CollectShow.h"
#include "app/KeyListRows.h"
#include "app/MainFormLayout.h"
#include "app/MenuShortcuts.h"
#include "app/MidiControl.h"
#include "app/PreviewControl.h"
#include "app/SlotKeyControl.h"
#include "app/SongFileWatch.h"
#include "app/StatusNews.h"
#include "app/frmButtonSettings.h"
#include "app/frmFade.h"
#include "app/frmKeys.h"
#include "app/frmOutputDevice.h"
#include "audio/SongLevels.h"
#include "controls/Tranbtn.h"
#include "core/BoardSettings.h"
#include "devices/Recorder.h"
#include "platform/Dialogs.h"
#include "platform/Guard.h"
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

TMainForm::TMainForm(ShowCore& show, Dialogs& dialogs, const DriveList& drives, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_show(show)
    , m_settings(show.registry())
    , m_dialogs(dialogs)
    , m_drives(drives)
    , m_keys(new SlotKeyControl(this, m_settings, m_dialogs))
    , m_songFile(new SongFileWatch(*this, show.songInfo()))
{
    // The keys run the show as every other input does.
    connectGuarded(m_keys, &SlotKeyControl::pressed, &m_show,
                   [this](SlotRef slot, bool shift) { m_show.SongPress(slot, shift, PressedBy::Key); });
    connectGuarded(m_keys, &SlotKeyControl::released, &m_show,
                   [this](SlotRef slot) { m_show.SongRelease(slot); });
    connectGuarded(m_keys, &SlotKeyControl::changed, this, &TMainForm::keysChanged);
    connectGuarded(m_keys, &SlotKeyControl::commandPressed, this, &TMainForm::CommandKeyPressed);
    MainFormLayout::build(*this);
    // An error in creation is reported and the window is still made and shown.
    guard([this] { FormCreate(); });
    followShow();
    if (std::all_of(SongButtons.begin(), SongButtons.end(), [](TMTranBtn* b) { return b != nullptr; })) {
        m_keyboard = new BoardKeyboard(this, m_show, Tabs, SongButtons,
                                       {tbtnOpen, btnPlay, btnStop, btnPause, btnFade, btnRecord, btnHelp});
        connectGuarded(m_keyboard, &BoardKeyboard::menuRequested, this, &TMainForm::openButtonMenu);
        keysChanged();
        m_keyboard->focusSlot(0); // the shown sheet's first button has the focus when the window opens
        new BoardDrop(this, m_show.songInfo(), *this, m_dialogs,
                      SongButtons); // files dropped onto the buttons
    }
}

void TMainForm::followShow()
{
    for (int i = 0; i < SheetCount; ++i)
        Tabs->setTabText(i, m_show.sheetName(i));
    Tabs->setCurrentIndex(m_show.shownSheet());
    setTransport(m_show.transport());
    for (int i = 0; i < 3; ++i)
        StatusPanels[i]->setText(m_show.statusText(i));
    setFinalSeconds(m_show.finalSeconds());
    connect(&m_show, &ShowCore::slotChanged, this,
            [this](int sheet, int slot, SlotState state, const QString& title) {
                if (sheet == shownTab())
                    showSlot(slot, state, title);
            });
    connect(&m_show, &ShowCore::sheetNameChanged, this,
            [this](int sheet, const QString& name) { Tabs->setTabText(sheet, name); });
    connect(&m_show, &ShowCore::sheetShown, this, [this](int sheet) { Tabs->setCurrentIndex(sheet); });
    connect(&m_show, &ShowCore::transportChanged, this, &TMainForm::setTransport);
    connect(&m_show, &ShowCore::statusChanged, this,
            [this](int panel, const QString& text) { StatusPanels[panel]->setText(text); });
    connect(&m_show, &ShowCore::finalSecondsChanged, this, &TMainForm::setFinalSeconds);
    connect(&m_show, &ShowCore::newsSaid, NewsPanel, &StatusNews::say);
    connect(&m_show, &ShowCore::newsCleared, NewsPanel, &StatusNews::clear);
    connect(&m_show, &ShowCore::slotPressed, this, [this](int sheet, int slot) {
        if (sheet == shownTab())
            Tag = slot; // the menu's items act on the button pressed last
    });
    // The operator's own press of a missing song is answered with a box; a remote's is news.
    connectGuarded(&m_show, &ShowCore::missingSongPressed, this, &TMainForm::showPressBox);
}

void TMainForm::setTransport(const Transport& transport)
{
    btnPlay->setEnabled(transport.play);
    btnStop->setEnabled(transport.stop);
    btnPause->setEnabled(transport.pause);
    mnuStopSong->setEnabled(transport.stopSong);
    mnuStopAll->setEnabled(transport.stopAll);
    mnuPlaySong->setEnabled(transport.playSong);
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
    // A settings file that cannot be read is reported, and the board still gets its buttons.
    guard([this] { m_keys->load(); });
    guard([this] {
        mnuShowKeys->setChecked(m_settings.showKeys());
        mnuShowTimeLeft->setChecked(m_show.showTimeLeft());
        mnuUseSongTimes->setChecked(m_show.useSongTimes());
        mnuLogPlays->setChecked(m_show.logPlays());
        mnuEvenLevels->setChecked(m_show.evenLevels());
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
    RefreshButtons(m_show.shownSheet());
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
    if (m_askBeforeExit && !m_destroyed && !m_songFile->waiting() && m_show.showInProgress()) {
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

void TMainForm::FormDestroy()
{
    m_destroyed = true;
    // Closing the window deactivates it, which lets go of a key held on a button: not now.
    if (m_keyboard)
        removeEventFilter(m_keyboard);
    // No signal reaches the window's handlers from here on: not from the show, which
    // outlives it, nor from its children while they are destroyed.
    QObject::disconnect(&m_show, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

// --- sheets and buttons ---------------------------------------------------------------------------------

QString TMainForm::tabCaption(int index) const
{
    checkRange(index, 0, SheetCount - 1);
    return m_show.sheetName(index);
}

void TMainForm::setTabCaption(int index, const QString& caption)
{
    m_show.setSheetName(index, caption);
}

int TMainForm::shownTab() const
{
    return m_show.shownSheet();
}

void TMainForm::RefreshButtons(int Sheet)
{
    m_show.refresh(); // the songs changed under the show
    for (int k = 0; k < SlotCount; ++k)
        showSlot(k, m_show.slotState(Sheet, k), m_show.slotTitle(Sheet, k));
    showKeyHints(Sheet);
}

void TMainForm::showSlot(int Slot, SlotState State, const QString& Title)
{
    TMTranBtn* B = SongButtons[static_cast<std::size_t>(Slot)];
    B->setCaption(Title);
    B->setFontColor(captionColour(State));
    B->update();
}

void TMainForm::TabControlChange(int index)
{
    m_show.showSheet(index);
    for (int k = 0; k < SlotCount; ++k)
        showSlot(k, m_show.slotState(index, k), m_show.slotTitle(index, k));
    showKeyHints(index);
}

void TMainForm::mnuChgTabNameClick()
{
    const int i = shownTab();
    const QString Old = m_show.sheetName(i);
    const QString text = m_dialogs.inputBox(this, QStringLiteral("New Tab Name"),
                                            QStringLiteral("Change ") + Old + QStringLiteral(" to"), Old);
    m_show.renameSheet(i, text);
}

void TMainForm::mnuClearTabClick()
{
    const int s = shownTab();
    m_show.clearSheet(s);
    for (int k = 0; k < SlotCount; ++k)
        slotCleared(s, k);
    RefreshButtons(s);
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
    mnuButtonSettings->setEnabled(Tag >= 0 && Tag < SlotCount && songInfo().GetSong(shownTab(), Tag, rec));
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
    TfrmSchedual editor(this, songInfo(), *this, m_dialogs, m_show.cdTracks(), m_drives);
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
    if (!songInfo().fileTaken()) {
        m_dialogs.messageBox(
            this, QStringLiteral("The song file is still being read: collect the show when it is in."),
            Dialogs::Style::Information, Dialogs::Buttons::Ok);
        return;
    }
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Collect Show into an empty folder"));
    if (folder.isEmpty())
        return;
    new CollectShow(this, m_dialogs, ShowCollector::plan(songInfo(), m_show.registry(), folder));
}

void TMainForm::EditSongStats1Click()
{
    if (Tag < 0 || Tag >= SlotCount)
        return;
    TfrmSongEdit dialog(this, songInfo(), shownTab(), Tag, m_show.levels(), m_preview);
    if (dialog.exec() == QDialog::Accepted)
        RefreshButtons(shownTab()); // a new title shows at once
}

void TMainForm::mnuButtonSettingsClick()
{
    TSongRecord rec;
    if (Tag < 0 || Tag >= SlotCount || !songInfo().GetSong(shownTab(), Tag, rec))
        return;
    TfrmButtonSettings dialog(this, songInfo().title(shownTab(), Tag),
                              songInfo().buttonSettings(shownTab(), Tag));
    if (dialog.exec() == QDialog::Accepted)
        songInfo().setButtonSettings(shownTab(), Tag, dialog.settings());
}

void TMainForm::mnuUseSongTimesClick()
{
    m_show.setUseSongTimes(mnuUseSongTimes->isChecked());
}

void TMainForm::mnuLogPlaysClick()
{
    m_show.setLogPlays(mnuLogPlays->isChecked());
}

void TMainForm::btnRecordClick()
{
    TRecForm recorder(this, m_dialogs);
    recorder.exec();
}

void TMainForm::btnHelpClick()
{
    TfrmHelp help(this, m_show.registry());
    help.exec();
}

void TMainForm::Contents1Click()
{
    btnHelpClick();
}

void TMainForm::About1Click()
{
    QStringList notes;
    if (SongLevels* levels = m_show.levels())
        if (const QString problem = levels->cacheProblem(); !problem.isEmpty())
            notes << problem;
    if (m_midi)
        if (const QString note = m_midi->aboutNote(); !note.isEmpty())
            notes << note;
    if (const QString& unused = songInfo().unusedSlotsNote(); !unused.isEmpty())
        notes << unused;
    TfrmAbout about(this, notes);
    about.exec();
}

void TMainForm::FadeControl1Click()
{
    TfrmFadeCtrl dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        m_show.FadeSetting = dialog.tbFade->value();
}

// --- playback
// -----------------------------------------------------------------------------------------------

void TMainForm::MTranBtn1MouseDown(TMTranBtn* Sender, Qt::MouseButton, Qt::KeyboardModifiers Shift, int, int)
{
    m_show.SongPress({shownTab(), Sender->BtnNumber()}, Shift.testFlag(Qt::ShiftModifier), PressedBy::Mouse);
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
    m_show.PlayClick();
}

void TMainForm::mnuStopSongClick()
{
    m_show.StopSongClick();
}

void TMainForm::btnStopClick()
{
    m_show.StopClick();
}

void TMainForm::mnuStopAllClick()
{
    m_show.StopAllClick();
}

void TMainForm::btnPauseClick()
{
    m_show.PauseClick();
}

void TMainForm::WaveTimerTimer()
{
    m_show.WaveTimerTimer();
}

void TMainForm::setFinalSeconds(bool on)
{
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
    m_show.setShowTimeLeft(mnuShowTimeLeft->isChecked());
}

void TMainForm::mnuShowKeysClick()
{
    const bool on = mnuShowKeys->isChecked();
    for (TMTranBtn* b : SongButtons)
        if (b)
            b->setShowKey(on);
    m_settings.saveShowKeys(on);
}

void TMainForm::btnFadeClick()
{
    m_show.FadeClick();
}

void TMainForm::FadeTimerTimer()
{
    m_show.FadeTimerTimer();
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
                   reservedKeys(), [this](int sheet) { return m_show.sheetName(sheet); });
}

void TMainForm::assignCommandKey(KeyCommand command)
{
    m_keys->assign(command, SlotKeys::commandName(command), reservedKeys(),
                   [this](int sheet) { return m_show.sheetName(sheet); });
}

QList<KeyListRow> TMainForm::keyListRows() const
{
    return KeyListRows::build(
        *m_keys, m_midi, [this](int sheet) { return m_show.sheetName(sheet); },
        [this](int sheet, int slot) { return songInfo().title(sheet, slot); });
}

void TMainForm::mnuKeysClick()
{
    TfrmKeys list(this, m_dialogs,
                  {[this] { return keyListRows(); },
                   [this](const KeyTarget& target) {
                       if (const auto* slot = std::get_if<SlotRef>(&target)) {
                           m_keys->assign(*slot, songInfo().title(slot->sheet, slot->slot), reservedKeys(),
                                          [this](int sheet) { return m_show.sheetName(sheet); });
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

void TMainForm::mnuOutputDeviceClick()
{
    OutputDevices* outputs = m_show.outputs();
    if (!outputs)
        return;
    TfrmOutputDevice dialog(this, outputs->outputDevices(), outputs->outputDevice());
    if (m_preview)
        dialog.offerPreview(m_preview->output());
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_show.setOutputDevice(dialog.chosen());
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
        const QString file = form->songInfo().fileName(form->shownTab(), form->Tag);
        return file.isEmpty() ? file : form->songInfo().playPath(file);
    });
    preview->load([form](const QString& text) {
        if (form && text.isEmpty())
            form->clearNews(PreviewNews);
        else if (form)
            form->sayNews(PreviewNews, text);
    });
}

// --- even levels ------------------------------------------------------------------------------------------

void TMainForm::mnuEvenLevelsClick()
{
    m_show.setEvenLevels(mnuEvenLevels->isChecked());
}
