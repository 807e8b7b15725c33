// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongFiles.h"

#include "SongStruc.h"
#include "StandIn.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr SongFileType FileTypes[] = {
    {"Wave Files", "*.wav"}, {"AU Files", "*.au"},  {"MIDI Files", "*.mid"},
    {"MPEG Files", "*.mp3"}, {"CD Audio", "*.cda"}, {"Audio Video Files", "*.avi"},
};

/// "/" joins the folder and the name unless the folder ends with one (the root, the CD).
QString joinPath(const QString& directory, const QString& name)
{
    if (directory.endsWith(QLatin1Char('/')))
        return directory + name;
    return directory + QLatin1Char('/') + name;
}

} // namespace

std::span<const SongFileType> songFileTypes()
{
    return FileTypes;
}

bool isSongFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return std::any_of(std::begin(FileTypes), std::end(FileTypes),
                       [&](const SongFileType& type) { return QDir::match(QLatin1String(type.mask), name); });
}

QStringList songsIn(const QString& folder)
{
    QStringList masks;
    for (const SongFileType& type : FileTypes)
        masks << QLatin1String(type.mask);
    const QDir dir(folder, {}, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware,
                   QDir::Files | QDir::Readable);
    QStringList songs;
    for (const QString& name : dir.entryList(masks))
        songs << dir.absoluteFilePath(name);
    return songs;
}

SongTexts newSongTexts(const QString& directory, const QString& name)
{
    SongTexts texts;
    texts.Artist = QStringLiteral("New Artist");
    texts.Album = QStringLiteral("New Album");
    texts.FileName = joinPath(directory, name);

    qsizetype start = 0;
    for (QChar sep : {QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char(':')})
        start = std::max(start, texts.FileName.lastIndexOf(sep) + 1);
    texts.Title = cutText(texts.FileName.mid(start), 40);
    const qsizetype dot = texts.Title.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        texts.Title.truncate(dot);
    return texts;
}

void addSong(TSongInfo& songs, int Sheet, int Slot, const QString& directory, const QString& name)
{
    TSongRecord rec;
    InitSongRecord(rec);
    rec.Sheet = Sheet;
    rec.Slot = Slot;
    songs.ClearSong(Sheet, Slot);
    songs.SetSong(Sheet, Slot, rec, newSongTexts(directory, name));
}

bool acceptAsCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    event->accept();
    return true;
}
