// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <span>

class QDropEvent;
struct SongTexts;
class TSongInfo;

/// A kind of file a song plays from, as the editor's filter offers it.
struct SongFileType {
    const char* caption;
    const char* mask;
};

/// The kinds in the order the editor's filter lists them.
[[nodiscard]] std::span<const SongFileType> songFileTypes();

/// Whether `path` names a file of one of those kinds, by its extension in any letter case.
[[nodiscard]] bool isSongFile(const QString& path);

/// The files of `folder` (not below it) that are songs, sorted by name as the file list shows them.
[[nodiscard]] QStringList songsIn(const QString& folder);

/// The texts a file gets when it is added: "New Artist", "New Album", its path, and as its
/// title the name after the last "/", "\\" or ":", cut to 40 characters and then before its
/// first "." (the 40 characters when there is none).
[[nodiscard]] SongTexts newSongTexts(const QString& directory, const QString& name);

/// Stores the file as the song of (Sheet, Slot) the way the editor adds one: the default
/// record with the texts above. Whatever the slot held before goes, its button settings too.
void addSong(TSongInfo& songs, int Sheet, int Slot, const QString& directory, const QString& name);

/// Accepts a drop of files as a copy (or a link), never as a move, so that the source (a file
/// manager, the editor's file list) never deletes what was dropped. False when neither is offered.
bool acceptAsCopy(QDropEvent* event);
