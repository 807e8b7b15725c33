// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/SlotKeyControl.h"
#include "app/frmKeys.h"
#include "core/BoardSettings.h"
#include "core/ShowCore.h"
#include "songs/SheetHost.h"

#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class BoardKeyboard;
class Dialogs;
class DriveList;
class MasterLevelControl;
class MidiControl;
class PlayingStrip;
class PreviewControl;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QShortcut;
class QTabBar;
class QToolButton;
class ShowView;
class SongFileWatch;
class StatusNews;
class TMPanel;
class TMTranBtn;

/// The sound board's window: ten sheets of 36 sound buttons and the transport controls over
/// the show, which it runs through the show's commands like every other input and follows
/// one way: what the buttons, the tabs, the transport and the status bar show is what the
/// show tells.
class TMainForm : public QMainWindow, public SheetHost {
    Q_OBJECT
public:
    TMainForm(ShowCore& show, Dialogs& dialogs, const DriveList& drives, QWidget* parent = nullptr);
    ~TMainForm() override;

    /// The splash window to close when this window first shows.
    void setSplash(QWidget* splash) { m_splash = splash; }

    /// News that arrived by itself, in the status bar's message panel until `clearNews`.
    void sayNews(const QString& topic, const QString& text);
    void clearNews(const QString& topic);
    /// Brings in the songs of a store made with TSongInfo::Load::Later, read on a thread of
    /// its own: while the song file's drive does not answer the status bar says so, and the
    /// sheets show the songs when it answers.
    void loadSongs();
    /// MIDI controllers learn in the key dialog and say in the About box what keeps them off.
    void setMidi(MidiControl* midi);
    /// The preview: its items on the button menu, its output in the output dialog, its play
    /// from here in the song attributes dialog, its news in the status bar.
    void setPreview(PreviewControl* preview);
    /// The meter beside the master level reads the peak the board sent since last asked; null:
    /// no meter.
    static inline const QString PreviewNews = QStringLiteral("preview"); ///< the preview output is missing
    /// Closes without asking, as logging out or a termination request does; the caller ends the run.
    /// Returns false while the window waits for the song file's drive before it closes.
    bool endShowWithoutAsking();

    // SheetHost
    [[nodiscard]] QString tabCaption(int index) const override;
    void setTabCaption(int index, const QString& caption) override;
    [[nodiscard]] int shownTab() const override;
    void RefreshButtons(int Sheet) override;
    void slotCleared(int Sheet, int Slot) override;
    void sheetsExchanged(int SheetA, int SheetB) override;
    [[nodiscard]] std::any slotExtras(int Sheet, int Slot) const override;
    void restoreSlotExtras(int Sheet, int Slot, const std::any& Extras) override;

    /// The show this window runs and follows.
    [[nodiscard]] ShowCore& core() const { return m_show; }
    [[nodiscard]] TSongInfo& songInfo() const { return m_show.songInfo(); }
    [[nodiscard]] Board& board() const { return m_show; }
    /// The keyboard's place in the grid of sound buttons.
    [[nodiscard]] int focusedSlot() const;

    // Components
    QWidget* WavePlayerSlot = nullptr;
    TMPanel* ToolBar = nullptr;
    QToolButton* tbtnOpen = nullptr;
    QToolButton* btnPlay = nullptr;
    QToolButton* btnStop = nullptr;
    QToolButton* btnPause = nullptr;
    QToolButton* btnFade = nullptr;
    QToolButton* btnFadeAll = nullptr;
    QToolButton* btnRecord = nullptr;
    QToolButton* btnHelp = nullptr;
    QWidget* TabControl = nullptr;
    QTabBar* Tabs = nullptr;
    std::array<TMTranBtn*, 36> SongButtons{};
    QLabel* StatusPanels[3] = {};
    StatusNews* NewsPanel = nullptr;
    PlayingStrip* Playing = nullptr;           ///< what plays, a row each
    MasterLevelControl* MasterLevel = nullptr; ///< the master level and the meter, on the tool bar
    QAction* mnuOpen = nullptr;
    QAction* mnuPlaySong = nullptr;
    QAction* mnuStopSong = nullptr;
    QAction* mnuStopAll = nullptr;
    QAction* Exit1 = nullptr;
    QAction* FadeControl1 = nullptr;
    QAction* mnuFadeAll = nullptr;
    QAction* mnuStayOnTop = nullptr;
    QAction* mnuIEStyle = nullptr;
    QAction* mnuOutputDevice = nullptr;
    QAction* mnuEvenLevels = nullptr;
    QAction* mnuRemoteControl = nullptr; ///< enabled and handled by the remote controls, when there are any
    QAction* mnuBackup = nullptr;        ///< enabled and handled by the backup link
    QAction* mnuFollow = nullptr;        ///< likewise: follows the main board again
    QAction* mnuCopyShow = nullptr;      ///< likewise: takes the main board's show
    QAction* mnuShowKeys = nullptr;
    QAction* mnuShowTimeLeft = nullptr;
    QAction* mnuKeys = nullptr;
    QAction* About1 = nullptr;
    QAction* Contents1 = nullptr;
    QMenu* TabPopup = nullptr;
    QAction* mnuChgTabName = nullptr;
    QAction* mnuClearTab = nullptr;
    QAction* mnuSongAttributes = nullptr;
    QAction* mnuButtonSettings = nullptr;
    QAction* mnuUseSongTimes = nullptr;
    QAction* mnuLogPlays = nullptr;
    QAction* mnuAssignKey = nullptr;
    QAction* mnuClearKey = nullptr;

    // State
    qint32 Tag = 0; ///< the slot of the shown sheet pressed last

    // Handlers
    void MTranBtn1MouseDown(TMTranBtn* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                            int Y);
    void btnPlayClick();
    void btnStopClick();
    void btnPauseClick();
    void btnFadeClick();
    /// Fades out everything that plays at the chosen speed.
    void btnFadeAllClick() { m_show.fadeAll(0); }
    void btnRecordClick();
    void btnHelpClick();
    void tbtnOpenClick();
    void mnuOpenClick();
    /// Packs the show into an empty folder the operator chooses, while the board plays on.
    void mnuCollectShowClick();
    void mnuStopSongClick();
    void mnuStopAllClick();
    void Exit1Click();
    void FadeControl1Click();
    void mnuStayOnTopClick();
    void mnuIEStyleClick();
    void mnuOutputDeviceClick();
    /// Songs started from now on play at even levels, or at their own; the choice is stored.
    void mnuEvenLevelsClick();
    /// Key captions on the buttons, or a clean board; the choice is stored.
    void mnuShowKeysClick();
    /// The position panel counts the time left down; the choice is stored.
    void mnuShowTimeLeftClick();
    /// The list of every key, to clear, print or save.
    void mnuKeysClick();
    void About1Click();
    void Contents1Click();
    void mnuChgTabNameClick();
    void mnuClearTabClick();
    void EditSongStats1Click();
    /// How the button pressed last plays: volume, play mode, loop; stored with its song.
    void mnuButtonSettingsClick();
    /// Songs play from their record's start time to its stop time; the choice is stored.
    void mnuUseSongTimesClick();
    /// A line for each song's start and end goes to the day's log file; the choice is stored.
    void mnuLogPlaysClick();
    void mnuAssignKeyClick();
    void mnuClearKeyClick();
    void TabControlChange(int index);
    void WaveTimerTimer();
    void FadeTimerTimer();

    [[nodiscard]] const SlotKeys& slotKeys() const { return m_keys->keys(); }
    [[nodiscard]] QHash<QKeySequence, QString> reservedKeys() const { return m_keys->reservedKeys(); }
    [[nodiscard]] QList<KeyListRow> keyListRows() const { return m_keys->listRows(); }
    /// Asks for the key of a transport command.
    void assignCommandKey(KeyCommand command);
    /// A command's key: the show's own command.
    void CommandKeyPressed(KeyCommand command) { m_show.runCommand(command); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    friend class MainFormLayout; // lays the window out and wires its handlers

    /// The destructor's steps: no handler of the window runs after them. The show ends apart.
    void FormDestroy();

    void FormCreate();
    void FormShow();
    /// The window follows the show: what it tells, the window shows.
    void followShow();
    void openTabPopup(const QPoint& globalPos);
    /// The menu of a sound button, opened from the keyboard: nothing is pressed.
    void openButtonMenu(int slot);
    /// The keys the operator gave, which the board's own keys leave alone.
    void keysChanged();
    void showKeyHints(int Sheet);
    /// The box that answers the operator's own press; one of the same text at a time.
    void showPressBox(const QString& message);

    ShowCore& m_show;
    BoardSettings m_settings;
    Dialogs& m_dialogs;
    const DriveList& m_drives;
    MidiControl* m_midi = nullptr;
    PreviewControl* m_preview = nullptr;

    QWidget* m_splash = nullptr;
    bool m_shownOnce = false;
    bool m_destroyed = false;
    bool m_askBeforeExit = true;
    ShowView* m_view = nullptr;
    SlotKeyControl* m_keys;
    SongFileWatch* m_songFile; ///< Exit waits for the song file's drive, never longer
    BoardKeyboard* m_keyboard = nullptr;
    QStringList m_boxesOpen; ///< the texts of the press boxes on screen
};
