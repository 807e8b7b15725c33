// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/BoardSettings.h"
#include "app/SlotKeyControl.h"
#include "app/SongTexts.h"
#include "app/frmKeys.h"
#include "devices/MCI.h"
#include "show/Board.h"
#include "songs/SheetHost.h"

#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class Board;
class BoardControl;
class BoardKeyboard;
class ButtonPlay;
class CdTrackCatalog;
class Dialogs;
class DriveList;
class MediaPlayer;
class MidiControl;
class PreviewControl;
class OutputDevices;
class PlayLog;
class PlayLogic;
class SoundNews;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QShortcut;
class QTabBar;
class QToolButton;
class Registry;
class SongFileWatch;
class SongLevels;
class StatusNews;
class TMPanel;
class TMTranBtn;
class TSongInfo;
class TTimer;

/// The services the main window works with; all owned by the caller and
/// outliving the window, except the song store, which the window destroys last.
struct MainFormServices {
    Registry& registry;
    Dialogs& dialogs;
    MediaPlayer& WavePlayer;
    const CdTrackCatalog& cdTracks;
    const DriveList& drives;
    /// The sound server's outputs; without them the Options menu offers no choice of output.
    OutputDevices* outputs = nullptr;
    /// The songs' measured levels; without them the Options menu offers no even levels.
    SongLevels* levels = nullptr;
};

/// The sound board: ten sheets of 36 sound buttons, the play queue and the
/// transport controls. Playback follows the play-state reports of the media
/// player and the CD player.
class TMainForm : public QMainWindow, public SheetHost, public CDStateListener {
    Q_OBJECT
public:
    TMainForm(MainFormServices services, std::unique_ptr<TSongInfo> songInfo, QWidget* parent = nullptr);
    ~TMainForm() override;

    /// The splash window to close when this window first shows.
    void setSplash(QWidget* splash) { m_splash = splash; }

    /// Topics of the status bar's news that the play logic says too.
    static inline const QString ServerNews = QStringLiteral("server");   ///< no sound server answers
    static inline const QString SkippedNews = QStringLiteral("skipped"); ///< the queue skipped a song

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
    static inline const QString PreviewNews = QStringLiteral("preview"); ///< the preview output is missing
    static inline const QString LogNews =
        QStringLiteral("play log"); ///< the log of what plays cannot be written
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

    // CDStateListener
    void CDStateChanged(TCDState State) override;

    [[nodiscard]] TSongInfo& songInfo() const { return *SongInfo; }
    /// The queue as the buttons' colours read it.
    [[nodiscard]] QueueView queueView() const;
    /// The play logic behind the handlers: the song that plays, its position and length.
    [[nodiscard]] const PlayLogic& playLogic() const { return *m_play; }
    /// The slot `file` was last pressed or queued from, if any.
    [[nodiscard]] std::optional<SlotRef> pressedSlotOf(const QString& file) const;
    /// The board's commands and state over this window: what the keyboard runs the show through.
    [[nodiscard]] Board& board() const;
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
    QToolButton* btnRecord = nullptr;
    QToolButton* btnHelp = nullptr;
    QWidget* TabControl = nullptr;
    QTabBar* Tabs = nullptr;
    std::array<TMTranBtn*, 36> SongButtons{};
    QLabel* StatusPanels[3] = {};
    StatusNews* NewsPanel = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuPlaySong = nullptr;
    QAction* mnuStopSong = nullptr;
    QAction* mnuStopAll = nullptr;
    QAction* Exit1 = nullptr;
    QAction* FadeControl1 = nullptr;
    QAction* mnuStayOnTop = nullptr;
    QAction* mnuIEStyle = nullptr;
    QAction* mnuOutputDevice = nullptr;
    QAction* mnuEvenLevels = nullptr;
    QAction* mnuRemoteControl = nullptr; ///< enabled and handled by the remote controls, when there are any
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
    TTimer* WaveTimer = nullptr;
    TTimer* FadeTimer = nullptr;

    // State
    TPlayState PlayState = TPlayState::psStopped;
    bool QueueMode = false;
    QStringList PlayQueue;
    std::unique_ptr<TCDPlayer> CDPlayer;
    qint32 FadeSetting = 3;
    qint32 Tag = 0; ///< the slot pressed last

    // Handlers
    void MTranBtn1MouseDown(TMTranBtn* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                            int Y);
    void btnPlayClick();
    void btnStopClick();
    void btnPauseClick();
    void btnFadeClick();
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
    /// A slot's key: a plain press (with Shift: a Shift+press) on that slot, whichever sheet is shown.
    void SlotKeyPressed(SlotRef Slot, bool Shift);
    /// A press on a slot, whichever sheet is shown, from the keys or a remote.
    void SlotPressed(SlotRef Slot, bool Shift, PressedBy By);
    /// The press on a slot was let go of: a button that plays while held stops its song.
    void SlotReleased(SlotRef Slot);
    void TabControlChange(int index);
    void WaveTimerTimer();
    void FadeTimerTimer();
    void WavePlayerPlayStateChange(int OldState, int NewState);
    /// The sound output went away under the song: the board goes idle and says so in the status bar.
    void WavePlayerPlaybackLost(const QString& message);

    [[nodiscard]] const SlotKeys& slotKeys() const { return m_keys->keys(); }
    /// The keys the menus use, each with the name of its item.
    [[nodiscard]] QHash<QKeySequence, QString> menuKeys() const;
    /// The keys no assignment may take, each with what it belongs to.
    [[nodiscard]] QHash<QKeySequence, QString> reservedKeys() const;
    /// The lines of the key list: the commands, then the slots' keys by sheet and button.
    [[nodiscard]] QList<KeyListRow> keyListRows() const;
    /// Asks for the key of a transport command.
    void assignCommandKey(KeyCommand command);
    /// A command's key: the board's own command.
    void CommandKeyPressed(KeyCommand command);

Q_SIGNALS:
    /// What the board shows may have changed: colours, titles, tab names, the play state.
    void boardChanged();
    /// A press on a slot whose song cannot play; what played plays on.
    void songPressFailed(int sheet, int slot, const QString& message, PressedBy by);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    friend class MainFormLayout; // lays the window out and wires its handlers
    friend class PlayLogic;      // the play logic behind the handlers

    /// The shutdown steps: tab names, queue, players, and last the song store. The
    /// destructor runs them, once; no handler of the window runs after them.
    void FormDestroy();

    void FormCreate();
    void FormShow();
    void LoadTabNames();
    void UpdatePlayState();
    /// The show is on: a song plays or is paused, or songs wait in the queue.
    [[nodiscard]] bool showInProgress() const;
    [[nodiscard]] QString WavePositionText() const;
    /// The song the handlers act on: the queue's head, or the song still playing
    /// after it was taken out of the queue.
    void updateHotList();
    void openTabPopup(const QPoint& globalPos);
    /// The menu of a sound button, opened from the keyboard: nothing is pressed.
    void openButtonMenu(int slot);
    /// The keys the operator gave, which the board's own keys leave alone.
    void keysChanged();
    void LoadOutputDevice();
    void LoadEvenLevels();
    /// The position panel in red for a song's last seconds, green otherwise.
    void setFinalSeconds(bool on);
    /// The position panel as wide as what it shows needs.
    void fitPositionPanel();
    void showKeyHints(int Sheet);
    [[nodiscard]] int pressedSheet() const { return m_keySheet >= 0 ? m_keySheet : shownTab(); }
    /// The press being handled ran into a song that cannot play: told to every input, and as
    /// news in the status bar when it came from elsewhere than the board's own mouse and keys.
    void pressFailed(const QString& message);
    /// The box that answers the operator's own press; one of the same text at a time.
    void showPressBox(const QString& message);
    [[nodiscard]] static QString failedPressTopic(SlotRef slot);

    Registry& m_registry;
    BoardSettings m_settings;
    Dialogs& m_dialogs;
    MediaPlayer& WavePlayer;
    const CdTrackCatalog& m_cdTracks;
    const DriveList& m_drives;
    OutputDevices* m_outputs;
    SongLevels* m_levels;
    MidiControl* m_midi = nullptr;
    PreviewControl* m_preview = nullptr;
    std::unique_ptr<TSongInfo> SongInfo;

    QWidget* m_splash = nullptr;
    bool m_shownOnce = false;
    bool m_destroyed = false;
    bool m_askBeforeExit = true;
    bool m_headDetached = false; ///< the playing song was taken out of the queue
    QString m_playingPath;
    QStringList m_hotList;
    SlotKeyControl* m_keys;
    SongFileWatch* m_songFile; ///< Exit waits for the song file's drive, never longer
    std::unique_ptr<PlayLogic> m_play;
    std::unique_ptr<ButtonPlay> m_buttons;
    std::unique_ptr<PlayLog> m_log;
    BoardControl* m_board = nullptr;
    BoardKeyboard* m_keyboard = nullptr;
    std::unique_ptr<SoundNews> m_soundNews; ///< the sound server's news, while the window listens
    bool m_finalSeconds = false;
    int m_keySheet = -1;                      ///< the sheet of a press made by a key, while it is handled
    PressedBy m_pressedBy = PressedBy::Mouse; ///< where the press being handled came from
    SlotRef m_pressing{-1, -1};               ///< the slot of the press being handled
    QStringList m_boxesOpen;                  ///< the texts of the press boxes on screen
    QHash<QString, SlotRef>
        m_pressedSlots; ///< by case-folded path: the slot it was last pressed or queued from
};
