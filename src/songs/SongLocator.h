// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

/// Finds songs whose stored path is not there below the folder of the info file, so a
/// show folder moved to another machine, or brought over from the older system, plays.
///
/// The folder is read once, on the first song that needs it, and never again: at most
/// MaxDepth folders deep and MaxFiles files, breadth first and in name order, so the
/// files nearest the show's own folder count first. Names compare with case folded, and
/// a name in another script as the stand-in a song record holds of it.
class SongLocator {
public:
    static constexpr int MaxDepth = 4;
    static constexpr int MaxFiles = 5000;
    /// Folder entries read at most, files and folders together, however many files they hold.
    static constexpr int MaxEntries = 4 * MaxFiles;

    /// Where a song plays instead of its stored path.
    struct Found {
        QString path;       ///< empty: play the stored path (it is there, or nothing was found)
        int candidates = 0; ///< how many files fitted equally well; the first in name order is `path`
    };

    explicit SongLocator(QString folder);

    /// Nothing for a path that is there, an empty one or a CD track name of this program.
    /// An older system's CD track ("D:\Track02.cda") becomes that track of the disc in the
    /// CD device. Otherwise, below the folder: the longest tail of the path that is there,
    /// then the same file name anywhere, the one sharing most trailing folders with it.
    [[nodiscard]] Found locate(const QString& stored);

    [[nodiscard]] const QString& folder() const { return m_folder; }
    /// The files the index holds; 0 until a song needed it.
    [[nodiscard]] int fileCount() const { return static_cast<int>(m_entries.size()); }
    /// The folder held more than the index takes.
    [[nodiscard]] bool truncated() const { return m_truncated; }

    /// "D:\Track02.cda" in any case, any drive letter: this program's name of that track; empty otherwise.
    [[nodiscard]] static QString olderCdTrack(const QString& stored);

private:
    struct Entry {
        QString relative;   ///< below the folder, "/" between parts, as the file system spells it
        QStringList folded; ///< its parts, case folded
    };

    void buildIndex();
    [[nodiscard]] Found lookup(const QStringList& parts) const;

    QString m_folder;
    bool m_indexed = false;
    bool m_truncated = false;
    std::vector<Entry> m_entries;
    QHash<QString, std::vector<int>> m_byName; ///< folded file name: entries, in index order
};
