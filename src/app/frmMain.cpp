// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMain.h"

#include "app/BoardDrop.h"
#include "app/BoardKeyboard.h"
#include "app/CollectShow.h"
#include "app/MainFormLayout.h"
#include "app/MenuShortcuts.h"
#include "app/MidiControl.h"
#include "app/PreviewControl.h"
#include "app/ShowView.h"
#include "app/SongFileWatch.h"
#include "app/StatusNews.h"
#include "app/frmButtonSettings.h"
#include "app/frmFade.h"
#include "app/frmOutputDevice.h"
#include "audio/SongLevels.h"
#include "controls/Tranbtn.h"
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
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleOptionTabWidgetFrame>
#include <QToolButton>

#include <algorithm>
#include <cmath>

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
    // The keys run the show as every other input does, while the window lives: closing it lets
    // go of a held key, which must not reach the show through a window half destroyed.
    connectGuarded(m_keys, &SlotKeyControl::pressed, this,
                   [&show](SlotRef slot, bool shift) { show.SongPress(slot, shift, PressedBy::Key); });
    connectGuarded(m_keys, &SlotKeyControl::released, this,
                   [&show](SlotRef slot) { show.SongRelease(slot, PressedBy::Key); });
    connectGuarded(m_keys, &SlotKeyControl::changed, this, &TMainForm::keysChanged);
    connectGuarded(m_keys, &SlotKeyControl::commandPressed, this, &TMainForm::CommandKeyPressed);
    MainFormLayout::build(*this);
    m_keys->setNames({[this](int sheet) { return m_show.sheetName(sheet); },
                      [this](int sheet, int slot) { return songInfo().title(sheet, slot); },
                      [this] { return MenuShortcuts::used(menuBar()); },
                      [this] { return MenuShortcuts::itemKeys(menuBar()); }});
    // An error in creation is reported and the window is still made and shown.
    guard([this] { FormCreate(); });
    followShow();
    m_view->fitPositionPanel(m_show.showTimeLeft());
    RefreshButtons(shownTab());
    if (std::all_of(SongButtons.begin(), SongButtons.end(), [](TMTranBtn* b) { return b != nullptr; })) {
        m_keyboard = new BoardKeyboard(
            this, m_show, Tabs, SongButtons,
            {tbtnOpen, btnPlay, btnStop, btnPause, btnFade, btnFadeAll, btnRecord, btnHelp});
        connectGuarded(m_keyboard, &BoardKeyboard::menuRequested, this, &TMainForm::openButtonMenu);
        keysChanged();
        m_keyboard->focusSlot(0); // the shown sheet's first button has the focus when the window opens
        new BoardDrop(this, m_show.songInfo(), *this, m_dialogs,
                      SongButtons); // files dropped onto the buttons
    }
}

void TMainForm::followShow()
{
    m_view = new ShowView(m_show,
                          {Tabs,
                           SongButtons,
                           btnPlay,
                           btnStop,
                           btnPause,
                           mnuStopSong,
                           mnuStopAll,
                           mnuPlaySong,
                           {StatusPanels[0], StatusPanels[1], StatusPanels[2]},
                           NewsPanel},
                          this);
    connect(&m_show, &ShowCore::slotPressed, this, [this](int sheet, int slot) {
        if (sheet == shownTab())
            Tag = slot; // the menu's items act on the button pressed last
    });
    // The operator's own press of a missing song is answered with a box; a remote's is news.
    connectGuarded(&m_show, &ShowCore::missingSongPressed, this, &TMainForm::showPressBox);
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
    if (m_view)
        m_view->showSheet(Sheet);
    showKeyHints(Sheet);
}

void TMainForm::TabControlChange(int index)
{
    m_show.showSheet(index);
    if (m_view)
        m_view->showSheet(index);
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
    CollectShow::start(this, m_dialogs, songInfo(), m_show.registry());
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
    TfrmButtonSettings dialog(
        this, songInfo().title(shownTab(), Tag), songInfo().buttonSettings(shownTab(), Tag),
        m_show.outputs() ? m_show.outputs()->outputDevices() : QList<OutputDevices::Device>());
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

// --- playback -------------------------------------------------------------------------------------------

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

void TMainForm::mnuShowTimeLeftClick()
{
    m_view->fitPositionPanel(mnuShowTimeLeft->isChecked());
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

// --- keys -----------------------------------------------------------------------------------------------

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
    if (m_keyboard)
        m_keyboard->setTakenKeys(m_keys->takenKeys());
}

void TMainForm::mnuAssignKeyClick()
{
    if (Tag >= 0 && Tag < SlotCount)
        m_keys->assign(SlotRef{shownTab(), Tag}, SongButtons[static_cast<std::size_t>(Tag)]->Caption());
}

void TMainForm::assignCommandKey(KeyCommand command)
{
    m_keys->assign(command, SlotKeys::commandName(command));
}

void TMainForm::mnuKeysClick()
{
    m_keys->showList(this);
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

void TMainForm::mnuEvenLevelsClick()
{
    m_show.setEvenLevels(mnuEvenLevels->isChecked());
}
