// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayLogic.h"

#include "audio/MediaPlayer.h"
#include "core/ButtonPlay.h"
#include "core/PlayLog.h"
#include "core/ShowCore.h"
#include "core/SongTexts.h"
#include "mci/CdTrackCatalog.h"
#include "platform/ErrorReporter.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/Timer.h"
#include "songs/SongPreview.h"
#include "songs/SongStruc.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <utility>

namespace {

/// A song whose file is not there (or is a folder): the message says which and why.
class SongMissing : public DeviceError {
public:
    using DeviceError::DeviceError;
};

} // namespace

PlayLogic::PlayLogic(ShowCore& show)
    : f(show)
{
}

void PlayLogic::toggleQueued(const QString& file)
{
    qsizetype P = -1;
    for (qsizetype i = 0; i < f.PlayQueue.size(); ++i) {
        if (f.PlayQueue[i].compare(file, Qt::CaseInsensitive) == 0) {
            P = i;
            break;
        }
    }
    if (P >= 0) {
        // The playing song may leave the queue; it plays on, and the next one still follows it.
        if (P == 0 && !f.m_headDetached && f.PlayState != TPlayState::psStopped) {
            f.m_headDetached = true;
            f.m_playingPath = f.PlayQueue.first();
        }
        f.PlayQueue.removeAt(P);
    } else {
        Transport t = f.m_transport;
        if (f.PlayState == TPlayState::psStopped)
            t.play = true;
        t.playSong = false;
        f.setTransport(t);
        f.PlayQueue.append(file);
    }
    prepareNext();
    f.follow(false);
}

bool PlayLogic::pressSong(const QString& file, double from)
{
    // What the board showed, to put back when the pressed song cannot start and the one
    // that played plays on.
    const QStringList queueBefore = f.PlayQueue;
    const bool detachedBefore = f.m_headDetached;
    const QString playingBefore = f.m_playingPath;
    const bool timerBefore = f.WaveTimer->Enabled();

    f.WaveTimer->setEnabled(false);
    // A press while paused starts the pressed song from its beginning.
    if (f.PlayState == TPlayState::psPaused)
        stopPausedSongSilently();
    f.m_headDetached = false;
    f.PlayQueue.clear();
    f.PlayQueue.append(file);
    f.clearNews(ShowCore::SkippedNews); // news of the show before this press
    // The sound first: the buttons' colours and the hot list follow once it is under way.
    try {
        if (startQueue(StartedBy::Press, from) || !somethingPlays()) {
            f.follow(false);
            return true;
        }
    } catch (...) {
        // The pressed song cannot play. The board is put back first (the song that played
        // goes on, named in the status bar), then the operator is told.
        if (somethingPlays()) {
            f.PlayQueue = queueBefore;
            f.m_headDetached = detachedBefore;
            f.m_playingPath = playingBefore;
            f.WaveTimer->setEnabled(timerBefore);
        } else {
            f.m_log->ended(PlayLog::Ended::Next); // a paused song the press let go of
            f.PlayQueue.clear();
            f.PlayState = TPlayState::psStopped;
            showIdle();
        }
        f.follow(false);
        return tellFailedPress();
    }
    f.PlayQueue = queueBefore;
    f.m_headDetached = detachedBefore;
    f.m_playingPath = playingBefore;
    f.WaveTimer->setEnabled(timerBefore);
    f.follow(false);
    return true;
}

bool PlayLogic::auditionSong(const QString& file, double seconds, SongPreview& preview)
{
    return sideSong(file, [&](const QString& path) { preview.playFrom(path, seconds); });
}

bool PlayLogic::sideSong(const QString& file, const std::function<void(const QString& path)>& start)
{
    try {
        if (const QString why = whyMissing(file); !why.isEmpty())
            throw SongMissing(why);
        start(f.SongInfo->playPath(file));
        return true;
    } catch (...) {
        return tellFailedPress();
    }
}

bool PlayLogic::tellFailedPress()
{
    if (f.m_followerActs > 0) {
        // The main board plays it: nobody pressed here, and no box waits for anyone.
        f.sayNews(ShowCore::FollowNews, QStringLiteral("The main board's song does not play here: ") +
                                            ErrorReporter::displayText(ErrorReporter::currentMessage()));
        return false;
    }
    f.pressFailed(ErrorReporter::currentMessage());
    if (!pressedAtBoard(f.m_pressedBy))
        return false; // told as news: no box waits at a board nobody may stand at
    try {
        throw;
    } catch (const SongMissing& e) {
        Q_EMIT f.missingSongPressed(e.message());
    }
    return false; // any other error has gone on to the error reporter
}

QString PlayLogic::currentSong() const
{
    if (f.m_headDetached)
        return f.m_playingPath;
    return f.PlayQueue.isEmpty() ? QString() : f.PlayQueue.first();
}

bool PlayLogic::somethingPlays() const
{
    if (f.WavePlayer.playState() != MediaPlayer::Stopped)
        return true;
    return f.CDPlayer->State == TCDState::cdPlaying || f.CDPlayer->State == TCDState::cdPaused;
}

void PlayLogic::stopPausedSongSilently()
{
    if (IsCdTrack(currentSong())) {
        f.CDPlayer->Stop();
    } else {
        f.WavePlayer.setSendPlayStateChangeEvents(false);
        const auto restore = qScopeGuard([this] { f.WavePlayer.setSendPlayStateChangeEvents(true); });
        f.WavePlayer.stop();
    }
    f.PlayState = TPlayState::psStopped;
}

bool PlayLogic::startQueue(StartedBy by, double from)
{
    while (!f.PlayQueue.isEmpty()) {
        const QString head = f.PlayQueue.first();
        const QString lengthBefore = f.statusText(1);
        try {
            if (const QString why = whyMissing(head); !why.isEmpty())
                throw SongMissing(why);
            // The sound first, the controls and the status bar after it.
            StartSong(head, std::exchange(from, 0.0));
        } catch (const NoAudioOutput& e) {
            // The machine has no sound output: not the song's fault. The queue waits for it.
            f.setStatus(1, lengthBefore);
            f.sayNews(ShowCore::ServerNews, e.message());
            if (!somethingPlays())
                holdQueue();
            return false;
        } catch (const SonavexError& e) {
            f.setStatus(1, lengthBefore);
            if (by == StartedBy::Press)
                throw; // the operator pressed that song: the press answers
            // The queue moves on by itself: the show goes on with the next song at once.
            f.sayNews(ShowCore::SkippedNews, QStringLiteral("Skipped: ") + e.message());
            if (!f.PlayQueue.isEmpty() && f.PlayQueue.first() == head)
                f.PlayQueue.removeFirst();
            continue;
        }
        guard([&] { logStarted(head, by); }); // the log never stands in the show's way
        Transport t = f.m_transport;
        t.stop = t.pause = t.stopSong = t.stopAll = true;
        f.setTransport(t);
        f.setStatus(2, nowPlayingText(head));
        f.clearNews(ShowCore::ServerNews); // a song plays: the output is there
        prepareNext();
        return true;
    }
    f.PlayState = TPlayState::psStopped;
    showIdle();
    return false;
}

void PlayLogic::prepareNext()
{
    QString next;
    const qsizetype at = f.m_headDetached ? 0 : 1;
    // During a fade none follows at once: the next song starts at full level when the faded one ends.
    if (f.WavePlayer.playState() != MediaPlayer::Stopped && !f.FadeTimer->Enabled() &&
        !IsCdTrack(currentSong()) && at < f.PlayQueue.size()) {
        const QString path = f.SongInfo->playPath(f.PlayQueue[at]);
        // A CD track or a file not there is left to its own start, which says what is wrong.
        if (!IsCdTrack(path) && whyMissing(f.PlayQueue[at]).isEmpty()) {
            f.m_buttons->prepare(f.PlayQueue[at]);
            next = path;
        }
    }
    f.WavePlayer.setNextFile(next);
}

void PlayLogic::holdQueue()
{
    f.m_log->ended(PlayLog::Ended::Lost);
    endFade();
    f.m_headDetached = false;
    f.PlayState = TPlayState::psStopped;
    showIdle();
    if (!f.PlayQueue.isEmpty()) {
        Transport t = f.m_transport;
        t.play = true;
        f.setTransport(t);
    }
}

void PlayLogic::showIdle()
{
    f.setTransport(Transport{});
    f.WaveTimer->setEnabled(false);
    // With nothing playing there is nothing to count down: the last count would stay red.
    if (f.m_showTimeLeft)
        f.setStatus(0, QString());
    f.setFinalSeconds(false);
    f.follow(false);
}

void PlayLogic::logStarted(const QString& song, StartedBy by)
{
    PlayLog::Song logged;
    logged.file = f.SongInfo->playPath(song);
    if (const auto slot = f.m_buttons->slotOf(song)) {
        logged.sheet = slot->sheet;
        logged.slot = slot->slot;
        logged.title = f.SongInfo->title(slot->sheet, slot->slot);
    } else {
        logged.title = QFileInfo(logged.file).completeBaseName();
    }
    PlayLog::Start start;
    start.kind = by == StartedBy::Press  ? PlayLog::Start::Kind::Press
                 : by == StartedBy::Play ? PlayLog::Start::Kind::Play
                                         : PlayLog::Start::Kind::Queue;
    start.by = f.m_pressedBy;
    f.m_log->started(logged, start);
}

QString PlayLogic::nowPlayingText(const QString& song) const
{
    const SongLocator::Found found = f.SongInfo->found(song);
    if (found.path.isEmpty())
        return QStringLiteral("Now Playing ") + song;
    QString text = QStringLiteral("Now Playing ") + found.path;
    if (found.candidates > 1)
        text += QStringLiteral(" (the first by name of %1 found)").arg(found.candidates);
    return text;
}

QString PlayLogic::whyMissing(const QString& Song) const
{
    const QString Path = f.SongInfo->playPath(Song);
    if (FileExists(Path, f.m_cdTracks))
        return {};
    // A folder named like a song is there, and "Unable to find" would send the operator looking for it.
    if (!IsCdTrack(Path) && QFileInfo(Path).isDir())
        return QStringLiteral("Unable to play ") + Path + QStringLiteral(": it is a folder, not a song file");
    return QStringLiteral("Unable to find ") + Path + f.SongInfo->notFoundNote(Song);
}

void PlayLogic::StartSong(const QString& Song, double from)
{
    // A song not where it was stored plays from where it was found when the sheets were read.
    const QString Path = f.SongInfo->playPath(Song);

    if (IsCdTrack(Path)) {
        // The player is asked before anything changes: one that could not be created answers
        // with why, and the song that plays goes on.
        QString position;
        try {
            position = f.CDPlayer->PositionText();
        } catch (const CDPlayerUnavailable& e) {
            throw DeviceError(QStringLiteral("Unable to play ") + Path + QStringLiteral(": ") + e.message());
        }
        const int Track = CdTrackNumber(Path); // a name without a number leaves the song that plays alone
        endFade();                             // a fade belongs to the song it was started on
        if (f.WavePlayer.playState() != MediaPlayer::Stopped) {
            f.WavePlayer.setSendPlayStateChangeEvents(false);
            const auto restore = qScopeGuard([this] { f.WavePlayer.setSendPlayStateChangeEvents(true); });
            f.WavePlayer.stop();
        }
        f.WaveTimer->setEnabled(true);
        f.setStatus(1, position);
        f.CDPlayer->PlayTrack(Track, from); // a backup joining late joins where the main plays
        f.m_playingPath = Song;
        f.PlayState = TPlayState::psPlaying;
        f.UpdatePlayState();
        return;
    }

    // The new file is opened and started first: one that cannot play leaves the song that plays alone.
    f.m_buttons->prepare(Song);
    if (from > 0.0)
        f.WavePlayer.setFileNameAt(Path, from);
    else
        f.WavePlayer.setFileName(Path);
    f.m_buttons->started(Song);
    if (f.CDPlayer->State == TCDState::cdPlaying)
        f.CDPlayer->Stop();
    endFade(); // a fade belongs to the song it was started on
    f.WaveTimer->setEnabled(true);
    f.m_playingPath = Song;
    f.setStatus(1, FormatSeconds(f.WavePlayer.duration()));
}

void PlayLogic::endFade()
{
    if (!f.FadeTimer->Enabled())
        return;
    f.FadeTimer->setEnabled(false);
    f.WavePlayer.setVolume(0);
}

double PlayLogic::position() const
{
    const QString song = currentSong();
    if (song.isEmpty())
        return 0.0;
    if (!IsCdTrack(song))
        return f.WavePlayer.currentPosition();
    const QString text = f.CDPlayer->PositionText(); // "mm:ss"
    return text.section(QLatin1Char(':'), 0, 0).toDouble() * 60 +
           text.section(QLatin1Char(':'), 1, 1).toDouble();
}

double PlayLogic::length() const
{
    const QString song = currentSong();
    if (song.isEmpty())
        return 0.0;
    if (!IsCdTrack(song))
        return f.WavePlayer.duration();
    try {
        return f.CDPlayer->TrackLength();
    } catch (const std::exception&) {
        return 0.0; // the time display has no place for a device's complaint; the length stays unknown
    }
}
