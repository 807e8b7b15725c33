// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/SongStruc.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

/// A default record with a title, a file and its own sheet and slot.
inline TSongRecord makeSong(const QString& title, int sheet, int slot,
                            const QString& file = QStringLiteral("/music/a.wav"))
{
    TSongRecord rec;
    InitSongRecord(rec);
    rec.Title.set(title);
    rec.FileName.set(file);
    rec.Sheet = sheet;
    rec.Slot = slot;
    return rec;
}

/// The record's 416-byte image.
/// A button's volume, press and loop; the rest of its settings at their defaults.
inline ButtonSettings buttonPlaying(double volumeDb, ButtonSettings::Mode mode, bool loop)
{
    ButtonSettings s;
    s.volumeDb = volumeDb;
    s.mode = mode;
    s.loop = loop;
    return s;
}

inline QByteArray bytesOf(const TSongRecord& rec)
{
    return QByteArray(reinterpret_cast<const char*>(&rec), sizeof rec);
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}
