// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/BoardSettings.h"
#include "core/SlotKeys.h"
#include "devices/MCI.h"
#include "show/Board.h"

#include <QHash>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class ButtonPlay;
class CdTrackCatalog;
class LayerPlayers;
class MediaPlayer;
class OutputDevices;
class PlayLog;
class PlayLogic;
class Registry;
class SongLevels;
class ShowLayers;
class SongPreview;
class SoundNews;
class TSongInfo;
class TTimer;
struct QueueView;

/// The services the show works with, all owned by the caller and outliving the show.
struct ShowServices {
    Registry& registry;
    MediaPlayer& WavePlayer;
    const CdTrackCatalog& cdTracks;
    /// The sound server's outputs; without them the show plays on the default output.
    OutputDevices* outputs = nullptr;
    /// The songs' measured levels; without them there are no even levels.
    SongLevels* levels = nullptr;
    /// What plays on the preview output; without it there is no Audition.
    SongPreview* preview = nullptr;
    /// Makes the players of the sounds over the show's song; without it a layer button plays
    /// as any other.
    LayerPlayers* layers = nullptr;
};

/// Which transport commands the show takes now; a command not taken is refused.
struct Transport {
    bool play = false;     ///< Play: songs wait in the queue, or a song is paused
    bool stop = false;     ///< Stop Song
    bool pause = false;    ///< Pause
    bool stopSong = false; ///< the menu's Stop Song
    bool stopAll = false;  ///< Stop All
    bool playSong = false; ///< the menu's Play Song

    friend bool operator==(const Transport&, const Transport&) = default;
};

/// The show: ten sheets of 36 songs, the play queue, what plays and where, the fade, the CD
/// player and the options, with no window. Every input (the window, its keys, MIDI, OSC and
/// the web page) runs it through the same commands and follows what it tells; none of its
/// commands reads anything of theirs. Owns the song store, and saves it when it ends.
class ShowCore : public Board, public CDStateListener {
    Q_OBJECT
public:
    ShowCore(ShowServices services, std::unique_ptr<TSongInfo> songInfo, QObject* parent = nullptr);
    /// Runs end() when it has not run.
    ~ShowCore() override;

    /// Topics of the news the show tells.
    static inline const QString ServerNews = QStringLiteral("server");   ///< no sound server answers
    static inline const QString SkippedNews = QStringLiteral("skipped"); ///< the queue skipped a song
    static inline const QString LogNews =
        QStringLiteral("play log"); ///< the log of what plays cannot be written
    /// A press refused while the board follows a main one, or the following ended by Stop All.
    static inline const QString FollowNews = QStringLiteral("following");
    /// The topic of a remote's failed press on `slot`: said once, until a press on it plays.
    [[nodiscard]] static QString failedPressTopic(SlotRef slot);

    /// Tells news that arrived by itself (`newsSaid`), or that it no longer holds (`newsCleared`).
    void sayNews(const QString& topic, const QString& text);
    void clearNews(const QString& topic);

    /// The shutdown steps: the sheet names stored, the queue emptied, the players stopped, and
    /// last the song store saved. Each goes on when one before it failed; runs once.
    void end();
    [[nodiscard]] bool ended() const { return m_ended; }

    [[nodiscard]] TSongInfo& songInfo() const { return *SongInfo; }
    [[nodiscard]] Registry& registry() const { return m_registry; }
    [[nodiscard]] MediaPlayer& player() const { return WavePlayer; }
    [[nodiscard]] const CdTrackCatalog& cdTracks() const { return m_cdTracks; }
    [[nodiscard]] OutputDevices* outputs() const { return m_outputs; }
    [[nodiscard]] SongLevels* levels() const { return m_levels; }
    [[nodiscard]] const PlayLogic& playLogic() const { return *m_play; }
    [[nodiscard]] ButtonPlay& buttonPlay() const { return *m_buttons; }
    /// The sounds that play over the show's song.
    [[nodiscard]] ShowLayers& layers() const { return *m_showLayers; }

    // Board
    [[nodiscard]] SlotState slotState(int sheet, int slot) const override;
    [[nodiscard]] QString slotTitle(int sheet, int slot) const override;
    [[nodiscard]] QString sheetName(int sheet) const override;
    [[nodiscard]] int shownSheet() const override { return m_shownSheet; }
    [[nodiscard]] TPlayState playState() const override { return PlayState; }
    [[nodiscard]] NowPlaying nowPlaying() const override;
    [[nodiscard]] double position() const override;
    [[nodiscard]] double length() const override;
    [[nodiscard]] bool audition() const override { return m_audition; }
    [[nodiscard]] QList<PlayingSound> playing() const override;
    [[nodiscard]] double masterLevel() const override { return m_masterLevel; }
    void press(int sheet, int slot, PressedBy by) override;
    void release(int sheet, int slot, PressedBy by) override;
    void queue(int sheet, int slot, PressedBy by) override;
    void play() override;
    void stopSong() override;
    void stopAll() override;
    void pause() override;
    void fade(int speed) override;
    void showSheet(int sheet) override;
    void stopSound(int id) override;
    void fadeAll(int speed) override;
    void setMasterLevel(double db) override;
    /// A transport or sheet command, as its key gives it; refused as its control would be.
    void runCommand(KeyCommand command);

    /// The transport commands taken now; while an audition plays, Stop Song and Stop All too.
    [[nodiscard]] Transport transport() const;
    /// The status bar's panels: 0 the position (or the time left), 1 the song's length,
    /// 2 "Now Playing" and the song's path.
    [[nodiscard]] QString statusText(int panel) const;
    /// The time left shows, and the song is in its last seconds.
    [[nodiscard]] bool finalSeconds() const { return m_finalSeconds; }
    /// The queue as the slots' colours read it.
    [[nodiscard]] QueueView queueView() const;
    /// The slot `file` was last pressed or queued from, if any.
    [[nodiscard]] std::optional<SlotRef> pressedSlotOf(const QString& file) const;
    /// The show is on: a song plays or is paused, or songs wait in the queue.
    [[nodiscard]] bool showInProgress() const;

    // The commands as the window's controls give them, taken whatever the transport says.
    /// A press on a slot of any sheet; with Shift it queues the song, or takes it out.
    void SongPress(SlotRef Slot, bool Shift, PressedBy By);
    /// The press on a slot was let go of: a button that plays while held stops its song.
    void SongRelease(SlotRef Slot, PressedBy By);
    void PlayClick();
    void StopClick();
    void StopSongClick();
    void StopAllClick();
    void PauseClick();
    void FadeClick();
    void WaveTimerTimer();
    void FadeTimerTimer();
    void WavePlayerPlayStateChange(int OldState, int NewState);
    /// The sound output went away under the song: the show goes idle and says so.
    void WavePlayerPlaybackLost(const QString& message);
    // CDStateListener
    void CDStateChanged(TCDState State) override;

    /// The sheet's name, stored when it differs from the one shown before.
    void renameSheet(int sheet, const QString& name);
    /// The sheet's name for now; stored when the show ends.
    void setSheetName(int sheet, const QString& name);
    /// Empties every slot of the sheet.
    void clearSheet(int sheet);
    /// The songs in the store changed: titles and colours are told again.
    void refresh();

    // The options, each stored when it changes.
    [[nodiscard]] bool useSongTimes() const;
    void setUseSongTimes(bool on);
    [[nodiscard]] bool evenLevels() const { return m_evenLevels; }
    void setEvenLevels(bool on);
    [[nodiscard]] bool showTimeLeft() const { return m_showTimeLeft; }
    void setShowTimeLeft(bool on);
    [[nodiscard]] bool logPlays() const;
    void setLogPlays(bool on);
    /// The window shows the sheet as a grid of tiles that fills it (`showViewChanged`).
    [[nodiscard]] bool showView() const { return m_showView; }
    void setShowView(bool on);
    /// The output songs play on: the server's name, empty for the default one.
    [[nodiscard]] QString outputDevice() const;
    void setOutputDevice(const QString& name);
    /// Audition: while on, a press by the operator's own hands (the mouse, the keys, MIDI pads;
    /// Shift+press too) plays its song on the preview output only and leaves the show as it
    /// was; OSC and web presses play as ever. Refused (stays off) while there is no preview to
    /// play on. Never stored: every run starts with it off. Off stops what it played.
    void setAudition(bool on);

    /// While on, the board follows a main one (BackupFollower): every press of its own inputs
    /// (mouse, keys, MIDI, OSC, web) is refused and said as news, but Stop All, a panic, which
    /// stops everything here and ends the following (`followingEnded`).
    void setFollowing(bool on);
    [[nodiscard]] bool following() const { return m_following; }

    // State
    TPlayState PlayState = TPlayState::psStopped;
    bool QueueMode = false;
    QStringList PlayQueue;
    std::unique_ptr<TCDPlayer> CDPlayer;
    qint32 FadeSetting = 3;
    TTimer* WaveTimer;
    TTimer* FadeTimer;

Q_SIGNALS:
    void newsSaid(const QString& topic, const QString& text);
    void newsCleared(const QString& topic);
    /// A press reached a slot (before its song is looked at).
    void slotPressed(int sheet, int slot);
    void transportChanged(const Transport& transport);
    void statusChanged(int panel, const QString& text);
    void finalSecondsChanged(bool on);
    /// The operator's own press (the mouse or a slot key) found its song missing: the window
    /// answers it with a box. Any other error of such a press goes on to the error reporter.
    void missingSongPressed(const QString& message);
    /// A command the transport does not take now (Play with nothing queued, Stop with nothing
    /// playing, Audition without a preview) did nothing: "play", "stopSong", "stopAll", "pause" or
    /// "audition".
    void commandRefused(const QString& command);
    void showViewChanged(bool on);
    /// Stop All was pressed here while the board followed a main one: it follows no more.
    void followingEnded();

private:
    friend class PlayLogic;      // the play logic behind the commands
    friend class ShowLayers;     // the sounds over the show's song
    friend class BackupFollower; // matches the show to a main board's

    /// A press of this board's own while it follows: said, and true. The follower's own
    /// commands pass.
    [[nodiscard]] bool refusedWhileFollowing();

    void UpdatePlayState();
    /// A press by the operator with Audition on: the song on the preview output, from where it
    /// would start.
    void auditionPress(SlotRef Slot, PressedBy By);
    /// Stop Song and Stop All stop what Audition played; false when it played nothing.
    bool stopAudition();
    void setTransport(const Transport& transport);
    /// Tells the transport, when what it takes changed.
    void tellTransport();
    /// The audition ended by itself: Stop Song and Stop All no longer stop anything of it.
    void watchAudition();
    void setStatus(int panel, const QString& text);
    void setFinalSeconds(bool on);
    [[nodiscard]] QString WavePositionText() const;
    /// Tells the slots whose colour or title changed, and the songs to decode ahead.
    void follow(bool everySlot);
    /// Tells the play state and the song that plays, when they changed.
    void followPlay();
    void updateHotList();
    void tick();
    /// The clock's tick: the show's time while its song plays, and what plays.
    void clockTick();
    /// The clock runs while the show's song or a layer plays.
    void runClock();
    /// Tells what plays when it changed, or `always`.
    void tellPlaying(bool always = false);
    /// The layers changed: the transport, the clock and what plays follow.
    void layersChanged();
    /// Tells the slot's colour when it changed.
    void tellSlot(SlotRef slot);
    /// The colour of `slot`, holding `file`, with the queue seen as `view`.
    [[nodiscard]] SlotState stateAt(SlotRef slot, const QString& file, const QueueView& view) const;
    /// How deep the show's song dips the others while it plays (0: it does not).
    [[nodiscard]] double showDuckDb() const;
    /// The press being handled ran into a song that cannot play.
    void pressFailed(const QString& message);
    [[nodiscard]] static bool validSlot(int sheet, int slot);

    Registry& m_registry;
    BoardSettings m_settings;
    MediaPlayer& WavePlayer;
    const CdTrackCatalog& m_cdTracks;
    OutputDevices* m_outputs;
    SongLevels* m_levels;
    SongPreview* m_preview;
    LayerPlayers* m_layers;
    std::unique_ptr<TSongInfo> SongInfo;
    std::unique_ptr<PlayLogic> m_play;
    std::unique_ptr<ButtonPlay> m_buttons;
    std::unique_ptr<PlayLog> m_log;
    std::unique_ptr<SoundNews> m_soundNews;
    std::unique_ptr<ShowLayers> m_showLayers;
    QTimer* m_clock;         ///< tells the time while a song plays
    QTimer* m_auditionWatch; ///< looks whether the audition still plays, while it may
    /// Stores the master level once it rests: a fader sends many moves, each a file written.
    QTimer* m_masterStore;

    bool m_ended = false;
    bool m_audition = false;
    bool m_following = false;
    int m_followerActs = 0;       ///< the follower's commands running, which no refusal stops
    bool m_auditionPlays = false; ///< Audition started the preview that may still play
    bool m_headDetached = false;  ///< the playing song was taken out of the queue
    QString m_playingPath;
    QStringList m_hotList;
    bool m_evenLevels = false;
    bool m_showTimeLeft = false;
    bool m_showView = false;
    bool m_finalSeconds = false;
    double m_masterLevel = 0.0;
    Transport m_transport; ///< what the show in the house takes
    Transport m_toldTransport;
    std::array<QString, 3> m_status;
    std::array<QString, Sheets> m_sheetNames;
    int m_shownSheet = 0;
    PressedBy m_pressedBy = PressedBy::Mouse; ///< where the press being handled came from
    SlotRef m_pressing{-1, -1};               ///< the slot of the press being handled
    QHash<QString, SlotRef> m_pressedSlots;   ///< by case-folded path: the slot last pressed or queued from

    struct Told {
        SlotState state = SlotState::Empty;
        QString title;
    };
    std::array<Told, Sheets * Slots> m_told{};
    QStringList m_toldQueue; ///< the songs whose colour the last told queue gave
    NowPlaying m_toldPlaying;
    TPlayState m_toldState = TPlayState::psStopped;
    QList<PlayingSound> m_toldSounds;
};
