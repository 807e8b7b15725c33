// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongStruc.h"

#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Registry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstring>

template <int N>
QString ShortString<N>::str() const
{
    return Ansi::toUnicode(chars, std::min<int>(length, N));
}

template <int N>
void ShortString<N>::set(const QString& text)
{
    const QByteArray bytes = Ansi::fromUnicode(text.left(N));
    length = static_cast<std::uint8_t>(std::min<qsizetype>(bytes.size(), N));
    std::memcpy(chars, bytes.constData(), length);
}

template struct ShortString<6>;
template struct ShortString<40>;
template struct ShortString<255>;

void InitSongRecord(TSongRecord& Rec)
{
    std::memset(&Rec, 0, sizeof Rec);
    Rec.Artist.set(QStringLiteral("New Artist"));
    Rec.Album.set(QStringLiteral("New Album"));
    Rec.Title.set(EmptyTitle);
    Rec.FileName.set(QString());
    const QString zero = QStringLiteral("00:00");
    Rec.StartTime.set(zero);
    Rec.StopTime.set(zero);
    Rec.FadeStart.set(zero);
    Rec.FadeDuration.set(zero);
    Rec.Sheet = 0;
    Rec.Slot = 0;
}

namespace {
constexpr qsizetype RecordSize = sizeof(TSongRecord);

bool inRange(int Sheet, int Slot)
{
    return Sheet >= 0 && Sheet < SheetCount && Slot >= 0 && Slot < SlotCount;
}
} // namespace

TSongInfo::TSongInfo(Registry& registry, Dialogs& dialogs)
    : TSongInfo(registry, dialogs, std::make_unique<AtomicFileWriter>())
{
}

TSongInfo::TSongInfo(Registry& registry, Dialogs& dialogs, std::unique_ptr<AtomicFileWriter> writer)
    : m_dialogs(dialogs)
    , m_writer(std::move(writer))
{
    registry.OpenKey(QStringLiteral("\\SoftWare\\Brasswold"), true);
    if (registry.OpenKey(QStringLiteral("System"), false))
        InfoPath = registry.ReadString(QStringLiteral("InfoPath"));
    if (InfoPath.isEmpty())
        InfoPath = defaultInfoPath();
    LoadFromFile();
    registry.CloseKey();
}

TSongInfo::~TSongInfo()
{
    try {
        SaveToFile();
    } catch (...) {
        // A destructor must not throw; the message box was the only thing that could.
    }
}

QString TSongInfo::defaultInfoPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QLatin1String("/Sonavex/songs.inf");
}

std::size_t TSongInfo::index(int Sheet, int Slot)
{
    if (!inRange(Sheet, Slot))
        throw RangeError(QStringLiteral("Range check error"));
    return static_cast<std::size_t>(Sheet * SlotCount + Slot);
}

void TSongInfo::SetSong(int Sheet, int Slot, const TSongRecord& Rec)
{
    auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        slot = std::make_unique<TSongRecord>();
    std::memcpy(slot.get(), &Rec, sizeof Rec);
}

bool TSongInfo::GetSong(int Sheet, int Slot, TSongRecord& Rec) const
{
    const auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        return false;
    std::memcpy(&Rec, slot.get(), sizeof Rec);
    return true;
}

void TSongInfo::ClearSong(int Sheet, int Slot)
{
    Songs[index(Sheet, Slot)].reset();
}

TSongRecord TSongInfo::GetSongOrDefault(int Sheet, int Slot) const
{
    TSongRecord rec;
    if (!GetSong(Sheet, Slot, rec))
        InitSongRecord(rec);
    return rec;
}

void TSongInfo::ExchangeSongs(int SheetA, int SlotA, int SheetB, int SlotB)
{
    const std::size_t a = index(SheetA, SlotA);
    const std::size_t b = index(SheetB, SlotB);
    std::swap(Songs[a], Songs[b]);
    if (Songs[a])
        Songs[a]->Sheet = SheetA;
    if (Songs[b])
        Songs[b]->Sheet = SheetB;
}

void TSongInfo::LoadFromFile()
{
    QFile file(InfoPath);
    if (!file.open(QIODevice::ReadOnly))
        return; // no file yet: an empty store
    const QByteArray data = file.readAll();
    file.close();

    // A damaged file loses nothing: every sound record is loaded, the rest skipped.
    qint64 good = 0;
    qint64 bad = 0;
    const qsizetype whole = data.size() / RecordSize;
    for (qsizetype i = 0; i < whole; ++i) {
        TSongRecord rec;
        std::memcpy(&rec, data.constData() + i * RecordSize, RecordSize);
        const int sheet = rec.Sheet;
        const int slot = rec.Slot;
        if (!inRange(sheet, slot)) {
            ++bad;
            continue;
        }
        SetSong(sheet, slot, rec);
        ++good;
    }
    const qint64 stray = data.size() % RecordSize;
    if (bad > 0 || stray > 0)
        keepDamagedOriginal(good, bad, stray);
}

void TSongInfo::keepDamagedOriginal(qint64 goodRecords, qint64 badRecords, qint64 strayBytes)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString copy = InfoPath + QLatin1String(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = InfoPath + QLatin1String(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);

    QString text = QStringLiteral("The song file %1 is damaged. %2 songs were loaded").arg(InfoPath).arg(goodRecords);
    if (badRecords > 0)
        text += QStringLiteral("; %1 records naming no valid slot were skipped").arg(badRecords);
    if (strayBytes > 0)
        text += QStringLiteral("; %1 stray bytes at the end were skipped").arg(strayBytes);
    if (QFile::copy(InfoPath, copy)) {
        m_damagedCopy = copy;
        text += QStringLiteral(". The original file was kept as %1.").arg(copy);
    } else {
        text += QStringLiteral(". The original file could not be copied; it will be replaced when Sonavex ends.");
    }
    m_dialogs.messageBox(nullptr, text, Dialogs::Style::Information, Dialogs::Buttons::Ok);
}

void TSongInfo::SaveToFile()
{
    QByteArray data;
    for (const auto& rec : Songs)
        if (rec)
            data.append(reinterpret_cast<const char*>(rec.get()), RecordSize);
    if (!m_writer->replace(InfoPath, data))
        m_dialogs.messageBox(nullptr, QStringLiteral("Unable to save file!"), Dialogs::Style::Error,
                             Dialogs::Buttons::Ok);
}
