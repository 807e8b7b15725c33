// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <functional>
#include <sys/types.h>

class Registry;
class TSongInfo;

/// Packs a show into one folder, so that it plays on another computer: every song file the ten
/// sheets use, copied flat into "songs/" under a short unique name ("007 Name.mp3"), the song
/// file and its companion pointing at the copies, and the settings of the show ("show.ini":
/// tab names, slot keys, MIDI lines). CD tracks stay CD tracks; a song not there keeps its
/// stored path and is listed. Every copy is read back and compared (size and digest) before
/// the collect counts as done. Whatever stops it (cancel, a full disk, a song that cannot be
/// read) removes everything it made: the folder is then as it was.
///
/// plan() reads the store and the settings on their own thread; run() touches nothing but
/// the file system and may run on any thread.
class ShowCollector {
public:
    /// Writes to a file descriptor as ::write does (tests make it fail as a full disk would).
    using Writer = std::function<ssize_t(int fd, const void* data, std::size_t size)>;
    /// Bytes done of the total; copying and reading back both count.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    /// A song file to copy, once however many slots use it.
    struct Song {
        QString stored; ///< the file name the store holds
        QString source; ///< where it plays from now
        QString copy;   ///< below the folder, e.g. "songs/007 Name.mp3"
        qint64 size = 0;
    };
    struct Plan {
        QString folder;
        QList<Song> songs;
        QStringList missing;  ///< "sheet S, button B: <stored path>" of songs not there
        QStringList cdTracks; ///< the same for CD tracks, which stay as they are
        /// Copies whose path the song record cannot hold as it is: the companion keeps it in full.
        QStringList longPaths;
        QByteArray songFile;
        QByteArray slotsFile; ///< empty when no slot holds anything beyond its record
        QByteArray settings;  ///< show.ini
        qint64 bytes = 0;     ///< of the songs to copy
    };
    struct Report {
        enum class Outcome { Done, Cancelled, Failed } outcome = Outcome::Failed;
        QString error; ///< why it failed
        qint64 bytes = 0;
        /// Done, and every song the sheets use copied (CD tracks aside).
        [[nodiscard]] bool complete(const Plan& plan) const;
        /// What was copied, what was missing, the total size; or why nothing was made. Each
        /// list cut to `listed` lines when that is not negative.
        [[nodiscard]] QString text(const Plan& plan, int listed = -1) const;
    };

    static constexpr auto SongsFolder = "songs";
    static constexpr auto SettingsFile = "show.ini";
    /// The settings sections a show takes with it.
    static const QStringList ShowSections;

    /// What collecting the store's show into `folder` will do.
    [[nodiscard]] static Plan plan(const TSongInfo& store, Registry& registry, const QString& folder);

    explicit ShowCollector(Writer writer = {});

    /// Copies, writes and checks; `cancel` is looked at between chunks.
    [[nodiscard]] Report run(const Plan& plan, const Progress& progress = {},
                             const std::atomic<bool>* cancel = nullptr) const;

    /// Makes the show collected in `folder` the board's show: registers its song file and takes
    /// in its settings. The settings they replace are kept first, beside the song file that was
    /// registered (as its show.ini, or show-before-<time>.ini when one is there), so that the
    /// show before can be opened again. Returns what was done; raises a GeneralError, having
    /// changed nothing, when the folder holds no song file or the settings cannot be kept.
    static QString openShow(Registry& registry, const QString& folder);

    /// The INI text of `sections` of the board's settings, as show.ini holds them.
    [[nodiscard]] static QByteArray settingsText(Registry& registry, const QStringList& sections);

private:
    Writer m_writer;
};
