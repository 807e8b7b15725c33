// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class TSongInfo;

/// What two boards compare to know they hold the same show: one short digest per slot, over
/// the slot's record (texts, the song file's own name, its times), its button settings, and the
/// size and time of its song file as this board finds it. Folders are left out: a backup keeps
/// the songs in its own show folder.
class ShowDigest {
public:
    /// Every slot's digest, sheet by sheet; an empty slot's is "-".
    [[nodiscard]] static QStringList of(const TSongInfo& songs);
    /// The slots (sheet * 36 + slot) whose digests differ; a list too short or too long counts
    /// its missing slots as differing.
    [[nodiscard]] static QList<int> differing(const QStringList& here, const QStringList& there);
    /// "sheet 1 button 3, sheet 2 button 7": at most `listed`, then "and N more" of `total`
    /// (the size of `slots` when less).
    [[nodiscard]] static QString slotsText(const QList<int>& slots, qsizetype total = 0, int listed = 5);
};
