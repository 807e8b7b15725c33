// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongLocator.h"

#include "StandIn.h"
#include "mci/CdTrackCatalog.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <deque>
#include <limits>

namespace {

/// A part as it compares: case folded, and in the letters a song record can hold, so that
/// "Аплодисменты.wav" is found by the stand-in a record holds of it ("Aplodismenty.wav")
/// when its name in full is lost.
QString comparable(const QString& part)
{
    const bool plain = std::all_of(part.cbegin(), part.cend(), [](QChar c) { return c.unicode() < 0x80; });
    return (plain ? part : standIn(part, std::numeric_limits<int>::max())).toCaseFolded();
}

/// The parts of a stored path as they compare: "\" and "/" both separate, a drive letter goes.
QStringList foldedParts(const QString& stored)
{
    QString path = stored;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.size() >= 2 && path[1] == QLatin1Char(':') && path[0].isLetter())
        path.remove(0, 2);
    QStringList parts;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part != QLatin1String("."))
            parts << comparable(part);
    }
    return parts;
}

} // namespace

SongLocator::SongLocator(QString folder)
    : m_folder(std::move(folder))
{
    while (m_folder.size() > 1 && m_folder.endsWith(QLatin1Char('/')))
        m_folder.chop(1);
}

QString SongLocator::olderCdTrack(const QString& stored)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z]:[\\\\/]?track(\\d\\d)\\.cda$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(stored);
    if (!match.hasMatch())
        return {};
    const int track = match.captured(1).toInt();
    return track >= 1 ? CdTracks::trackName(track) : QString();
}

SongLocator::Found SongLocator::locate(const QString& stored)
{
    if (stored.isEmpty() || CdTracks::isTrackName(stored))
        return {};
    if (const QString track = olderCdTrack(stored); !track.isEmpty())
        return {track, 1};
    if (QFileInfo::exists(stored))
        return {};
    if (!m_indexed)
        buildIndex();
    return lookup(foldedParts(stored));
}

void SongLocator::buildIndex()
{
    m_indexed = true;
    if (m_folder.isEmpty())
        return;
    struct Folder {
        QString relative;
        int depth;
    };
    std::deque<Folder> pending{{QString(), 0}};
    int read = 0;
    while (!pending.empty()) {
        const Folder folder = pending.front();
        pending.pop_front();
        const QString prefix = folder.relative.isEmpty() ? QString() : folder.relative + QLatin1Char('/');
        QStringList files;
        QStringList folders;
        QDirIterator it(m_folder + QLatin1Char('/') + folder.relative,
                        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            if (++read > MaxEntries) {
                m_truncated = true;
                break;
            }
            it.next();
            (it.fileInfo().isDir() ? folders : files) << it.fileName();
        }
        files.sort();
        for (const QString& name : std::as_const(files)) {
            if (fileCount() >= MaxFiles) {
                m_truncated = true;
                return;
            }
            Entry entry{prefix + name, foldedParts(prefix + name)};
            m_byName[entry.folded.last()].push_back(fileCount());
            m_entries.push_back(std::move(entry));
        }
        if (m_truncated)
            return;
        if (folder.depth >= MaxDepth)
            continue;
        folders.sort();
        for (const QString& name : std::as_const(folders))
            pending.push_back({prefix + name, folder.depth + 1});
    }
}

SongLocator::Found SongLocator::lookup(const QStringList& parts) const
{
    if (parts.isEmpty())
        return {};
    const auto bucket = m_byName.constFind(parts.last());
    if (bucket == m_byName.cend())
        return {};
    // A file whose whole path below the folder is a tail of the stored path comes first,
    // the longest such tail first; then the one that shares most trailing parts with it.
    struct Weight {
        bool wholeTail;
        qsizetype shared;
        auto operator<=>(const Weight&) const = default;
    };
    Weight best{false, 0};
    int bestEntry = -1;
    int candidates = 0;
    for (const int i : *bucket) {
        const QStringList& folded = m_entries[static_cast<std::size_t>(i)].folded;
        qsizetype shared = 1;
        while (shared < folded.size() && shared < parts.size() &&
               folded[folded.size() - 1 - shared] == parts[parts.size() - 1 - shared])
            ++shared;
        const Weight weight{shared == folded.size(), shared};
        if (bestEntry < 0 || best < weight) {
            best = weight;
            bestEntry = i;
            candidates = 1;
        } else if (weight == best) {
            ++candidates;
            if (m_entries[static_cast<std::size_t>(i)].relative <
                m_entries[static_cast<std::size_t>(bestEntry)].relative)
                bestEntry = i;
        }
    }
    return {m_folder + QLatin1Char('/') + m_entries[static_cast<std::size_t>(bestEntry)].relative,
            candidates};
}
