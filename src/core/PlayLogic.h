// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class ShowCore;
class SongPreview;

/// The board's play logic behind the show's commands: what a press does to the queue,
/// starting the queue's head on the media player or the CD player (the sound first, then the
/// controls and the status bar), skipping what cannot play when the queue moves on by itself,
/// holding the queue while there is no sound output, and the idle state.
class PlayLogic {
public:
    /// Who asked for the queue's head to start: the operator's own press on that song, the
    /// Play command, or the queue moving on by itself.
    enum class StartedBy { Press, Play, Queue };

    explicit PlayLogic(ShowCore& show);

    /// A Shift+press: the song joins the queue, or leaves it (a playing song plays on).
    void toggleQueued(const QString& file);
    /// A plain press: the song alone in the queue, started at once. A song that cannot start
    /// leaves what played playing, and the operator is told after the board is put back.
    /// False when the song cannot play (its file missing or unreadable). It starts `from`
    /// seconds into what its button plays.
    bool pressSong(const QString& file, double from = 0.0);
    /// The operator's press with Audition on: the song on the preview output from `seconds`,
    /// nothing else. A song that cannot play fails as a press does. False when it did.
    bool auditionSong(const QString& file, double seconds, SongPreview& preview);
    /// A press that plays `file` beside the show (a layer): `start` is given the path it plays
    /// from when its file is there. A song that cannot play fails as a press does. False when
    /// it did.
    bool sideSong(const QString& file, const std::function<void(const QString& path)>& start);

    /// Starts the queue's head. Started by the queue, a song that cannot start is said in the
    /// status bar and skipped; started by a press, its error is raised to the press. Without a
    /// sound output the queue waits, with Play enabled. False when no song started. The head
    /// starts `from` seconds into it (a CD track from its beginning); any song after it from 0.
    bool startQueue(StartedBy by, double from = 0.0);
    /// The media player makes ready the song that follows the one playing in the queue, so that
    /// it goes on at its last sample; called whenever the queue or the song that plays changes.
    void prepareNext();
    /// The queue waits for the sound output to come back.
    void holdQueue();
    void showIdle();
    /// The media player or the CD player holds a song (playing or paused).
    [[nodiscard]] bool somethingPlays() const;
    /// The song the handlers act on: the queue's head, or the song still playing after it was
    /// taken out of the queue.
    [[nodiscard]] QString currentSong() const;
    /// Seconds into the song that plays, and its length (0 when not known).
    [[nodiscard]] double position() const;
    [[nodiscard]] double length() const;
    /// A fade belongs to the song it was started on: it ends with it, at full volume again.
    void endFade();

private:
    /// In the handler of a press's error: tells it, as a box's or as news; raises on any error
    /// but a missing song at the board, for the error reporter.
    bool tellFailedPress();
    void stopPausedSongSilently();
    /// Why the song cannot start before anything is tried: its file is missing or a folder.
    [[nodiscard]] QString whyMissing(const QString& Song) const;
    /// Starts a song whose file is there; raises when it cannot start.
    void StartSong(const QString& Song, double from);
    /// The log's line for the song that just started.
    void logStarted(const QString& song, StartedBy by);
    /// "Now Playing " and the path that plays; for a song found by name among several, which one.
    [[nodiscard]] QString nowPlayingText(const QString& song) const;

    ShowCore& f;
};
