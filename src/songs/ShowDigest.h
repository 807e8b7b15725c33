// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class TSongInfo;

/// What two boards compare to know they hold the same show: one short digest per slot, over
/// the slot's record (texts, the song file's own name, its times), its button settings, and the
/// size and content of its song file as this board finds it (its first and last 16 KB). Folders
/// and file times are left out: a backup keeps the songs in a folder of its own, copied at
/// another time.
///
/// The files are read on a thread of its own, so that a drive that does not answer holds up
/// the digest, never the board: request() it, and digestTaken() tells it.
class ShowDigest : public QObject {
    Q_OBJECT
public:
    /// What a slot's digest is taken of: its texts and settings, and the song file's path.
    struct Slot {
        QByteArray record; ///< empty for an empty slot
        QString file;
    };
    /// A song file's size and a digest of its content, and what they were read for.
    struct FileSample {
        qint64 size = -1;
        qint64 modified = 0;
        QByteArray content;
    };
    using Samples = QHash<QString, FileSample>;

    explicit ShowDigest(const TSongInfo& songs, QObject* parent = nullptr);
    ~ShowDigest() override;

    /// Takes the show's digest anew; while one is taken, the next is taken after it.
    void request();

    /// The slots of `songs` as they are now (on the thread that owns them).
    [[nodiscard]] static QList<Slot> slotsOf(const TSongInfo& songs);
    /// Every slot's digest, sheet by sheet; an empty slot's is "-". Reads the files: `samples`
    /// keeps what was read, for a file whose size and time have not changed since.
    [[nodiscard]] static QStringList of(const QList<Slot>& slots, Samples& samples);
    /// The same at once, on this thread.
    [[nodiscard]] static QStringList of(const TSongInfo& songs);
    /// The slots (sheet * 36 + slot) whose digests differ; a list too short or too long counts
    /// its missing slots as differing.
    [[nodiscard]] static QList<int> differing(const QStringList& here, const QStringList& there);
    /// "sheet 1 button 3, sheet 2 button 7": at most `listed`, then "and N more" of `total`
    /// (the size of `slots` when less).
    [[nodiscard]] static QString slotsText(const QList<int>& slots, qsizetype total = 0, int listed = 5);

Q_SIGNALS:
    void digestTaken(const QStringList& digest);

private:
    struct Shared;
    void start();

    const TSongInfo& m_songs;
    std::shared_ptr<Shared> m_shared;
    bool m_running = false;
    bool m_again = false;
};
