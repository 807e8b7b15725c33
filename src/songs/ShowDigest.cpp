// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowDigest.h"

#include "songs/ButtonSettings.h"
#include "songs/SongStruc.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace {

QString slotDigest(const TSongInfo& songs, int sheet, int slot)
{
    TSongRecord rec;
    if (!songs.GetSong(sheet, slot, rec))
        return QStringLiteral("-");
    const SongTexts texts = songs.texts(sheet, slot);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto add = [&hash](const QString& text) {
        hash.addData(text.toUtf8());
        hash.addData(QByteArrayView("\n", 1));
    };
    add(texts.Artist);
    add(texts.Album);
    add(texts.Title);
    add(QFileInfo(texts.FileName).fileName());
    for (const auto* time : {&rec.StartTime, &rec.StopTime, &rec.FadeStart, &rec.FadeDuration})
        add(time->str());
    SlotsFile::Keys keys;
    songs.buttonSettings(sheet, slot).writeTo(keys);
    for (const auto& [key, value] : std::as_const(keys))
        add(key + QLatin1Char('=') + value);
    const QFileInfo file(songs.playPath(texts.FileName));
    if (file.isFile()) {
        add(QString::number(file.size()));
        add(QString::number(file.lastModified().toSecsSinceEpoch()));
    } else {
        add(QStringLiteral("missing"));
    }
    return QString::fromLatin1(hash.result().toHex().left(12));
}

} // namespace

QStringList ShowDigest::of(const TSongInfo& songs)
{
    QStringList digests;
    digests.reserve(SheetCount * SlotCount);
    for (int sheet = 0; sheet < SheetCount; ++sheet)
        for (int slot = 0; slot < SlotCount; ++slot)
            digests << slotDigest(songs, sheet, slot);
    return digests;
}

QList<int> ShowDigest::differing(const QStringList& here, const QStringList& there)
{
    QList<int> slots;
    for (int i = 0; i < SheetCount * SlotCount; ++i)
        if (i >= here.size() || i >= there.size() || here[i] != there[i])
            slots << i;
    return slots;
}

QString ShowDigest::slotsText(const QList<int>& slots, qsizetype total, int listed)
{
    total = std::max(total, slots.size());
    QStringList parts;
    for (qsizetype i = 0; i < slots.size() && i < listed; ++i)
        parts << QStringLiteral("sheet %1 button %2")
                     .arg(slots[i] / SlotCount + 1)
                     .arg(slots[i] % SlotCount + 1);
    if (total > listed)
        parts << QStringLiteral("and %1 more").arg(total - std::min<qsizetype>(listed, slots.size()));
    return parts.join(QStringLiteral(", "));
}
