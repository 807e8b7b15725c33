// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

/// The song file's companion: what a slot holds beyond its 416-byte record (the names in
/// full), as UTF-8 text a person or a script can read and write. One section a slot,
/// "[sheet,slot]" counted from 0, of "key = value" lines; a "[Sonavex]" section first with
/// the format's `version`. Keys this version does not know are read and written back as
/// they are, so that later keys need no new version.
namespace SlotsFile {

constexpr int Version = 1;

using Keys = QList<std::pair<QString, QString>>;

struct Entry {
    int sheet = 0;
    int slot = 0;
    Keys keys; ///< in the file's order
};

struct Parsed {
    enum class Kind { Read, Damaged, Newer } kind = Kind::Read;
    QList<Entry> entries;
    QString problem; ///< why it is damaged or which version it is
};

/// The companion of the song file `infoPath`: ".inf" at its end becomes ".slots"; any other
/// name gets ".slots" added ("songs.inf" has "songs.slots", "show" has "show.slots").
[[nodiscard]] QString pathFor(const QString& infoPath);

[[nodiscard]] Parsed parse(const QByteArray& data);
[[nodiscard]] QByteArray write(const QList<Entry>& entries);

} // namespace SlotsFile
