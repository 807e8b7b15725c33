// SPDX-License-Identifier: GPL-3.0-or-later
#include "SongStruc.h"

#include "StandIn.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Registry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

template <int N> QString ShortString<N>::str() const
{
    return Ansi::toUnicode(chars, std::min<int>(length, N));
}

template <int N> void ShortString<N>::set(const QString& text)
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

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
}

/// `base` + `suffix`, or with "-2", "-3"... when such a file is there already.
QString freeName(const QString& base, const QString& suffix)
{
    QString name = base + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + QLatin1Char('-') + QString::number(n) + suffix;
    return name;
}

enum class ReadResult { Read, Missing, Failed };

/// Reads the whole file; on Failed `reason` says why.
ReadResult readWholeFile(const QString& path, QByteArray& data, QString& reason)
{
    // Not blocking: a pipe in the file's place must not hang the start.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        reason = systemReason(error);
        return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? systemReason(EISDIR) : QStringLiteral("not a regular file");
        ::close(fd);
        return ReadResult::Failed;
    }
    data.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            reason = systemReason(errno);
            ::close(fd);
            return ReadResult::Failed;
        }
        data.append(buffer, n);
    }
    ::close(fd);
    return ReadResult::Read;
}

bool inRange(int Sheet, int Slot)
{
    return Sheet >= 0 && Sheet < SheetCount && Slot >= 0 && Slot < SlotCount;
}

/// A text field of the record that the companion may hold in full, under `key`; the entry
/// names the record's own text under "record." + `key`.
struct TextField {
    QString SongTexts::*full;
    QLatin1String key;
    QLatin1String recordKey;
    int capacity;
    QString (*get)(const TSongRecord&);
    void (*set)(TSongRecord&, const QString&);
};

// File and title first: they say which song an entry belongs to, and are always in it.
const TextField TextFields[] = {
    {&SongTexts::FileName, QLatin1String("file"), QLatin1String("record.file"), 255,
     [](const TSongRecord& r) { return r.FileName.str(); },
     [](TSongRecord& r, const QString& t) { r.FileName.set(t); }},
    {&SongTexts::Title, QLatin1String("title"), QLatin1String("record.title"), 40,
     [](const TSongRecord& r) { return r.Title.str(); },
     [](TSongRecord& r, const QString& t) { r.Title.set(t); }},
    {&SongTexts::Artist, QLatin1String("artist"), QLatin1String("record.artist"), 40,
     [](const TSongRecord& r) { return r.Artist.str(); },
     [](TSongRecord& r, const QString& t) { r.Artist.set(t); }},
    {&SongTexts::Album, QLatin1String("album"), QLatin1String("record.album"), 40,
     [](const TSongRecord& r) { return r.Album.str(); },
     [](TSongRecord& r, const QString& t) { r.Album.set(t); }},
};
constexpr int BindingFields = 2; ///< file and title

bool isKnownKey(const QString& key)
{
    for (const TextField& f : TextFields)
        if (key == f.key || key == f.recordKey)
            return true;
    return false;
}

const QString* valueOf(const SlotsFile::Keys& keys, QLatin1String key)
{
    const QString* value = nullptr;
    for (const auto& [k, v] : keys)
        if (k == key)
            value = &v; // the last one counts
    return value;
}
} // namespace

TSongInfo::TSongInfo(Registry& registry, Dialogs& dialogs, Load load)
    : TSongInfo(registry, dialogs, std::make_unique<AtomicFileWriter>(), load)
{
}

TSongInfo::TSongInfo(Registry& registry, Dialogs& dialogs, std::unique_ptr<AtomicFileWriter> writer,
                     Load load)
    : m_dialogs(dialogs)
    , m_writer(std::move(writer))
{
    registry.OpenKey(QStringLiteral("\\SoftWare\\Brasswold"), true);
    if (registry.OpenKey(QStringLiteral("System"), false))
        InfoPath = registry.ReadString(QStringLiteral("InfoPath"));
    if (InfoPath.isEmpty())
        InfoPath = defaultInfoPath();
    registry.CloseKey();
    if (load == Load::Now)
        LoadFromFile();
}

bool TSongInfo::isDefaultPath() const
{
    return QFileInfo(InfoPath).absoluteFilePath() == QFileInfo(defaultInfoPath()).absoluteFilePath();
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
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1String("/Sonavex/songs.inf");
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
    if (!slot) {
        slot = std::make_unique<SlotData>();
    } else {
        // The record wins: a text changed in it is no longer the one held in full.
        for (const TextField& f : TextFields)
            if (f.get(slot->rec) != f.get(Rec))
                (slot->full.*f.full).clear();
    }
    std::memcpy(&slot->rec, &Rec, sizeof Rec);
    locate(fileName(Sheet, Slot));
}

void TSongInfo::SetSong(int Sheet, int Slot, TSongRecord Rec, const SongTexts& Texts)
{
    SongTexts full;
    for (const TextField& f : TextFields) {
        const QString& text = Texts.*f.full;
        const QString near = standIn(text, f.capacity);
        f.set(Rec, near);
        if (near != text)
            full.*f.full = text;
    }
    auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        slot = std::make_unique<SlotData>();
    std::memcpy(&slot->rec, &Rec, sizeof Rec);
    slot->full = full;
    locate(fileName(Sheet, Slot));
}

SongTexts TSongInfo::texts(int Sheet, int Slot) const
{
    SongTexts texts;
    const auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        return texts;
    for (const TextField& f : TextFields) {
        const QString& full = slot->full.*f.full;
        texts.*f.full = full.isEmpty() ? f.get(slot->rec) : full;
    }
    return texts;
}

QString TSongInfo::fileName(int Sheet, int Slot) const
{
    const auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        return {};
    return slot->full.FileName.isEmpty() ? slot->rec.FileName.str() : slot->full.FileName;
}

QString TSongInfo::title(int Sheet, int Slot) const
{
    const auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        return EmptyTitle;
    return slot->full.Title.isEmpty() ? slot->rec.Title.str() : slot->full.Title;
}

void TSongInfo::locate(const QString& FileName)
{
    // Looking below the song file's folder waits on its drive: not before it has answered.
    if (!m_taken)
        return;
    if (!m_found.contains(FileName))
        m_found.insert(FileName, m_locator->locate(FileName));
}

SongLocator::Found TSongInfo::found(const QString& FileName) const
{
    return m_found.value(FileName);
}

QString TSongInfo::playPath(const QString& FileName) const
{
    const auto it = m_found.constFind(FileName);
    return it == m_found.cend() || it->path.isEmpty() ? FileName : it->path;
}

QString TSongInfo::notFoundNote(const QString& FileName) const
{
    const auto it = m_found.constFind(FileName);
    if (it == m_found.cend() || !it->path.isEmpty() || !m_locator->truncated())
        return {};
    return QStringLiteral(" (not found within the first %1 files of %2)")
        .arg(QLocale(QLocale::English).toString(SongLocator::MaxFiles), m_locator->folder());
}

int TSongInfo::foundCount(int Sheet) const
{
    int count = 0;
    for (int k = 0; k < SlotCount; ++k)
        if (Songs[index(Sheet, k)] && !found(fileName(Sheet, k)).path.isEmpty())
            ++count;
    return count;
}

void TSongInfo::useFoundPaths(int Sheet)
{
    for (int k = 0; k < SlotCount; ++k) {
        if (!Songs[index(Sheet, k)])
            continue;
        const QString path = found(fileName(Sheet, k)).path;
        if (path.isEmpty())
            continue;
        SongTexts full = texts(Sheet, k);
        full.FileName = path;
        SetSong(Sheet, k, Songs[index(Sheet, k)]->rec, full);
    }
}

bool TSongInfo::GetSong(int Sheet, int Slot, TSongRecord& Rec) const
{
    const auto& slot = Songs[index(Sheet, Slot)];
    if (!slot)
        return false;
    std::memcpy(&Rec, &slot->rec, sizeof Rec);
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

ButtonSettings TSongInfo::buttonSettings(int Sheet, int Slot) const
{
    const auto& slot = Songs[index(Sheet, Slot)];
    return slot ? ButtonSettings::fromKeys(slot->more) : ButtonSettings{};
}

void TSongInfo::setButtonSettings(int Sheet, int Slot, const ButtonSettings& Settings)
{
    if (const auto& slot = Songs[index(Sheet, Slot)])
        Settings.writeTo(slot->more);
}

void TSongInfo::ExchangeSongs(int SheetA, int SlotA, int SheetB, int SlotB)
{
    const std::size_t a = index(SheetA, SlotA);
    const std::size_t b = index(SheetB, SlotB);
    std::swap(Songs[a], Songs[b]);
    if (Songs[a])
        Songs[a]->rec.Sheet = SheetA;
    if (Songs[b])
        Songs[b]->rec.Sheet = SheetB;
}

bool operator==(const TSongInfo::SlotContent& a, const TSongInfo::SlotContent& b)
{
    if (!a.m_data || !b.m_data)
        return a.m_data == b.m_data;
    return std::memcmp(&a.m_data->rec, &b.m_data->rec, sizeof(TSongRecord)) == 0 &&
           a.m_data->full == b.m_data->full && a.m_data->more == b.m_data->more;
}

TSongInfo::SlotContent TSongInfo::slotContent(int Sheet, int Slot) const
{
    SlotContent content;
    if (const auto& slot = Songs[index(Sheet, Slot)])
        content.m_data = std::make_shared<const SlotData>(*slot);
    return content;
}

void TSongInfo::restoreSlot(int Sheet, int Slot, const SlotContent& Content)
{
    auto& slot = Songs[index(Sheet, Slot)];
    if (!Content.m_data) {
        slot.reset();
        return;
    }
    slot = std::make_unique<SlotData>(*Content.m_data);
    locate(fileName(Sheet, Slot));
}

void TSongInfo::LoadFromFile()
{
    takeFile(readFile(InfoPath));
}

TSongInfo::FileContent TSongInfo::readFile(const QString& infoPath)
{
    FileContent content;
    content.folder = QFileInfo(AtomicFileWriter::resolvedTarget(infoPath)).absolutePath();
    if (!QFileInfo(content.folder).isDir()) {
        content.kind = FileContent::Kind::FolderMissing;
        return content;
    }
    // A save killed after it committed the pair is completed before either file is read;
    // what a save killed before that left behind is cleared away.
    AtomicFileWriter::finishInterrupted(infoPath);
    const auto read = [](const QString& path, QByteArray& data, QString& reason) {
        AtomicFileWriter::removeAbandonedTemporaries(path);
        switch (readWholeFile(path, data, reason)) {
        case ReadResult::Missing:
            return FileContent::Kind::Missing;
        case ReadResult::Failed:
            return FileContent::Kind::Failed;
        case ReadResult::Read:
            break;
        }
        return FileContent::Kind::Read;
    };
    content.kind = read(infoPath, content.data, content.reason);
    content.slotsPath = SlotsFile::pathFor(AtomicFileWriter::resolvedTarget(infoPath));
    content.slotsKind = read(content.slotsPath, content.slotsData, content.slotsReason);
    return content;
}

QString TSongInfo::slotsPath() const
{
    return SlotsFile::pathFor(AtomicFileWriter::resolvedTarget(InfoPath));
}

QString TSongInfo::takeFile(const FileContent& content, bool inBox)
{
    m_taken = true;
    m_locator = std::make_unique<SongLocator>(content.folder);
    for (int i = 0; i < SheetCount * SlotCount; ++i)
        if (Songs[static_cast<std::size_t>(i)])
            locate(fileName(i / SlotCount, i % SlotCount)); // the operator's songs of the wait
    const QString file = QDir::toNativeSeparators(InfoPath);
    QString text;
    auto style = Dialogs::Style::Error;
    switch (content.kind) {
    case FileContent::Kind::FolderMissing:
        // The default folder is simply not made yet; a registered one that is missing
        // is an unmounted drive or a renamed folder, and the operator must know.
        if (!isDefaultPath())
            text = QStringLiteral(
                       "The folder %1 of the song file %2 is missing. The sheets start empty; when Sonavex "
                       "ends the songs are saved there if the folder is back, otherwise in a rescue file "
                       "whose name will be shown.")
                       .arg(QDir::toNativeSeparators(content.folder), file);
        break;
    case FileContent::Kind::Missing:
        break; // no file yet: an empty store
    case FileContent::Kind::Failed:
        m_unreadable = content.reason;
        text = QStringLiteral(
                   "The song file %1 cannot be read (%2). The sheets start empty; the file is left as it "
                   "is, and this run's songs are saved beside it when Sonavex ends.")
                   .arg(file, m_unreadable);
        m_slotsUnreadable = m_unreadable; // the pair stays as it is
        break;
    case FileContent::Kind::Read: {
        m_read = true;
        // A damaged file loses nothing: every sound record is loaded, the rest skipped. A slot
        // the operator filled while the file was on its way keeps the operator's song.
        const QByteArray& data = content.data;
        qint64 good = 0;
        qint64 bad = 0;
        QSet<std::size_t> fromFile;
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
            auto& place = Songs[index(sheet, slot)];
            if (place && !fromFile.contains(index(sheet, slot)))
                continue;
            place = std::make_unique<SlotData>();
            place->rec = rec;
            fromFile.insert(index(sheet, slot));
            ++good;
        }
        const qint64 stray = data.size() % RecordSize;
        if (bad > 0 || stray > 0) {
            text = keepDamagedOriginal(good, bad, stray);
            style = Dialogs::Style::Information;
        }
        const QString slotsProblem = takeSlots(content, fromFile);
        if (!slotsProblem.isEmpty()) {
            text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + slotsProblem;
            style = Dialogs::Style::Information;
        }
        for (const std::size_t i : fromFile)
            locate(fileName(static_cast<int>(i) / SlotCount, static_cast<int>(i) % SlotCount));
        break;
    }
    }
    if (content.kind != FileContent::Kind::Read && content.kind != FileContent::Kind::Failed) {
        // No song file: a companion without one holds nothing to load, but it is not replaced
        // unless it was read.
        const QString slotsProblem = takeSlots(content, {});
        if (!slotsProblem.isEmpty() && text.isEmpty())
            style = Dialogs::Style::Information;
        if (!slotsProblem.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + slotsProblem;
    }
    if (text.isEmpty() || !inBox)
        return text;
    m_dialogs.messageBox(nullptr, text, style, Dialogs::Buttons::Ok);
    return {};
}

QString TSongInfo::keepDamagedOriginal(qint64 goodRecords, qint64 badRecords, qint64 strayBytes)
{
    const QString copy = freeName(InfoPath + QLatin1String(".damaged-") + timeStamp(), QString());

    QString text =
        QStringLiteral("The song file %1 is damaged. %2 songs were loaded").arg(InfoPath).arg(goodRecords);
    if (badRecords > 0)
        text += QStringLiteral("; %1 records naming no valid slot were skipped").arg(badRecords);
    if (strayBytes > 0)
        text += QStringLiteral("; %1 stray bytes at the end were skipped").arg(strayBytes);
    if (QFile::copy(InfoPath, copy)) {
        m_damagedCopy = copy;
        text += QStringLiteral(". The original file was kept as %1.").arg(copy);
    } else {
        text +=
            QStringLiteral(". The original file could not be copied; it will be replaced when Sonavex ends.");
    }
    return text;
}

void TSongInfo::SaveToFile()
{
    if (m_saved)
        return;
    const QByteArray data = songData();
    const QByteArray slots = slotsData();

    if (!m_unreadable.isEmpty()) {
        // What could not be read is never replaced: this run's songs go beside it.
        saveBeside(data, slots, QStringLiteral("could not be read when Sonavex started"));
        return;
    }
    if (!m_read && QFileInfo::exists(AtomicFileWriter::resolvedTarget(InfoPath))) {
        // A song file that came (back) during the run was never read: replacing it would
        // lose its songs. The run started empty, so an empty store changed nothing.
        saveBeside(data, slots, QStringLiteral("appeared while Sonavex ran, after it had found none"));
        return;
    }
    if (isDefaultPath())
        QDir().mkpath(QFileInfo(InfoPath).absolutePath());
    const QString companion = slotsPath();
    const QString because = slotsKeptBecause(companion);
    const bool there = QFileInfo::exists(companion) || QFileInfo(companion).isSymLink();
    if (because.isEmpty() && (!slots.isEmpty() || there)) {
        // The pair is replaced as one: a new song file beside the old companion would have the
        // record-wins rule drop the names of every song retitled in this run. Without entries
        // the companion is still written: an earlier run's entries must not come back.
        const QByteArray content = slots.isEmpty() ? SlotsFile::write({}) : slots;
        if (!m_writer->replaceTogether({{InfoPath, data}, {companion, content}}))
            rescue(data, slots, m_writer->errorString());
        return;
    }
    if (!m_writer->replace(InfoPath, data)) {
        rescue(data, slots, m_writer->errorString());
        return;
    }
    if (!because.isEmpty())
        saveSlotsBeside(slots, because);
}

QByteArray TSongInfo::songDataOf(const Slots& songs)
{
    QByteArray data;
    for (const auto& slot : songs)
        if (slot)
            data.append(reinterpret_cast<const char*>(&slot->rec), RecordSize);
    return data;
}

QByteArray TSongInfo::slotsDataOf(const Slots& songs)
{
    QList<SlotsFile::Entry> entries;
    for (int i = 0; i < SheetCount * SlotCount; ++i) {
        const auto& slot = songs[static_cast<std::size_t>(i)];
        if (!slot)
            continue;
        SlotsFile::Entry entry{i / SlotCount, i % SlotCount, {}};
        for (const TextField& f : TextFields)
            if (!(slot->full.*f.full).isEmpty())
                entry.keys.append({f.key, slot->full.*f.full});
        if (entry.keys.isEmpty() && slot->more.isEmpty())
            continue;
        for (int k = 0; k < std::ssize(TextFields); ++k) {
            const TextField& f = TextFields[k];
            if (k < BindingFields || !(slot->full.*f.full).isEmpty())
                entry.keys.append({f.recordKey, f.get(slot->rec)});
        }
        entry.keys += slot->more;
        entries.append(entry);
    }
    return entries.isEmpty() ? QByteArray() : SlotsFile::write(entries);
}

std::pair<QByteArray, QByteArray> TSongInfo::imagesRenamed(const QHash<QString, QString>& renamed) const
{
    Slots songs;
    for (std::size_t i = 0; i < Songs.size(); ++i) {
        if (!Songs[i])
            continue;
        songs[i] = std::make_unique<SlotData>(*Songs[i]);
        SlotData& slot = *songs[i];
        const QString stored = slot.full.FileName.isEmpty() ? slot.rec.FileName.str() : slot.full.FileName;
        const auto to = renamed.constFind(stored);
        if (to == renamed.cend())
            continue;
        const QString near = standIn(*to, 255);
        slot.rec.FileName.set(near);
        slot.full.FileName = near == *to ? QString() : *to;
    }
    return {songDataOf(songs), slotsDataOf(songs)};
}

QString TSongInfo::slotsKeptBecause(const QString& path) const
{
    if (!m_slotsUnreadable.isEmpty())
        return QStringLiteral("could not be taken when Sonavex started (%1)").arg(m_slotsUnreadable);
    if (!m_slotsRead && (QFileInfo::exists(path) || QFileInfo(path).isSymLink()))
        return QStringLiteral("appeared while Sonavex ran, after it had found none");
    return {};
}

void TSongInfo::saveSlotsBeside(const QByteArray& slots, const QString& because)
{
    // Never replaced unread: this run's names go beside it.
    if (slots.isEmpty())
        return;
    const QString path = slotsPath();
    const QString beside = freeName(path + QLatin1String(".saved-") + timeStamp(), QString());
    if (!m_writer->replace(beside, slots)) {
        rescue({}, slots, m_writer->errorString(), false);
        return;
    }
    m_dialogs.messageBox(nullptr,
                         QStringLiteral("The file %1, which holds the songs' names in full, %2, so it was "
                                        "left as it was. This run's names were saved as %3.")
                             .arg(QDir::toNativeSeparators(path), because, QDir::toNativeSeparators(beside)),
                         Dialogs::Style::Information, Dialogs::Buttons::Ok);
}

void TSongInfo::saveToRescueFile()
{
    m_saved = true;
    rescue(songData(), slotsData(),
           QStringLiteral("%1: the drive does not answer").arg(QDir::toNativeSeparators(InfoPath)));
}

void TSongInfo::saveBeside(const QByteArray& data, const QByteArray& slots, const QString& because)
{
    if (data.isEmpty())
        return;
    const QString beside = freeName(InfoPath + QLatin1String(".saved-") + timeStamp(), QString());
    if (!m_writer->replace(beside, data)) {
        rescue(data, slots, m_writer->errorString());
        return;
    }
    QString text = QStringLiteral("The song file %1 %2, so it was left as it was. This run's songs were "
                                  "saved as %3.")
                       .arg(QDir::toNativeSeparators(InfoPath), because, QDir::toNativeSeparators(beside));
    const QString besideSlots = SlotsFile::pathFor(beside);
    if (!slots.isEmpty()) {
        if (m_writer->replace(besideSlots, slots))
            text +=
                QStringLiteral(" Their names in full are in %1.").arg(QDir::toNativeSeparators(besideSlots));
        else
            text +=
                QStringLiteral(" Their names in full could not be saved (%1).").arg(m_writer->errorString());
    }
    m_dialogs.messageBox(nullptr, text, Dialogs::Style::Information, Dialogs::Buttons::Ok);
}

void TSongInfo::rescue(const QByteArray& data, const QByteArray& slots, const QString& why, bool songs)
{
    const QString folder = QFileInfo(defaultInfoPath()).absolutePath();
    // A pair that belongs together: neither name may be taken.
    const QString stamp = folder + QLatin1String("/songs-rescued-") + timeStamp();
    QString base = stamp;
    for (int n = 2; QFileInfo::exists(base + QLatin1String(".inf")) ||
                    QFileInfo::exists(SlotsFile::pathFor(base + QLatin1String(".inf")));
         ++n)
        base = stamp + QLatin1Char('-') + QString::number(n);
    const QString name = base + QLatin1String(".inf");
    const QString slotsName = SlotsFile::pathFor(name);
    const QString what = songs ? QStringLiteral("The songs") : QStringLiteral("The songs' names in full");
    QString text = QStringLiteral("Unable to save file!\n\n%1.\n\n").arg(why);
    if (!QDir().mkpath(folder)) {
        text += QStringLiteral("%1 could not be saved to %2 either: the folder cannot be made.")
                    .arg(what, QDir::toNativeSeparators(folder));
    } else if (songs && !m_writer->replace(name, data)) {
        text += QStringLiteral("The songs could not be saved to %1 either (%2).")
                    .arg(QDir::toNativeSeparators(folder), m_writer->errorString());
    } else if (!songs) {
        if (m_writer->replace(slotsName, slots))
            text +=
                QStringLiteral("%1 were saved to %2 instead.").arg(what, QDir::toNativeSeparators(slotsName));
        else
            text += QStringLiteral("%1 could not be saved to %2 either (%3).")
                        .arg(what, QDir::toNativeSeparators(folder), m_writer->errorString());
    } else {
        text += QStringLiteral("The songs were saved to %1 instead.").arg(QDir::toNativeSeparators(name));
        if (!slots.isEmpty() && m_writer->replace(slotsName, slots))
            text +=
                QStringLiteral(" Their names in full are in %1.").arg(QDir::toNativeSeparators(slotsName));
        else if (!slots.isEmpty())
            text +=
                QStringLiteral(" Their names in full could not be saved (%1).").arg(m_writer->errorString());
    }
    m_dialogs.messageBox(nullptr, text, Dialogs::Style::Error, Dialogs::Buttons::Ok);
}

QString TSongInfo::takeSlots(const FileContent& content, const QSet<std::size_t>& fromFile)
{
    const QString file = QDir::toNativeSeparators(content.slotsPath);
    const QString lead = QStringLiteral("The file %1, which holds the songs' names in full, ").arg(file);
    const QString keptAsItIs = QStringLiteral(
        "The songs have the names their song file holds; the file is left as it is, and this run's names "
        "are saved beside it when Sonavex ends.");
    switch (content.slotsKind) {
    case FileContent::Kind::FolderMissing:
    case FileContent::Kind::Missing:
        return {};
    case FileContent::Kind::Failed:
        m_slotsUnreadable = content.slotsReason;
        return lead + QStringLiteral("cannot be read (%1). ").arg(content.slotsReason) + keptAsItIs;
    case FileContent::Kind::Read:
        break;
    }
    const SlotsFile::Parsed parsed = SlotsFile::parse(content.slotsData);
    switch (parsed.kind) {
    case SlotsFile::Parsed::Kind::Newer:
        m_slotsUnreadable = QStringLiteral("written by a newer Sonavex, %1").arg(parsed.problem);
        return lead + QStringLiteral("was written by a newer Sonavex (%1). ").arg(parsed.problem) +
               keptAsItIs;
    case SlotsFile::Parsed::Kind::Damaged: {
        // Kept aside, so that the next save writes a sound one in its place.
        const QString copy =
            freeName(content.slotsPath + QLatin1String(".damaged-") + timeStamp(), QString());
        if (QFile::rename(content.slotsPath, copy)) {
            m_slotsRead = true;
            return lead +
                   QStringLiteral("is damaged (%1). It was kept as %2, and the songs have the names their "
                                  "song file holds.")
                       .arg(parsed.problem, QDir::toNativeSeparators(copy));
        }
        m_slotsUnreadable = QStringLiteral("damaged, %1").arg(parsed.problem);
        return lead + QStringLiteral("is damaged (%1) and could not be kept aside. ").arg(parsed.problem) +
               keptAsItIs;
    }
    case SlotsFile::Parsed::Kind::Read:
        break;
    }
    m_slotsRead = true;
    qsizetype unused = 0;
    for (const SlotsFile::Entry& entry : parsed.entries) {
        const std::size_t i = index(entry.sheet, entry.slot);
        if (!fromFile.contains(i)) {
            ++unused;
            continue;
        }
        SlotData& slot = *Songs[i];
        // The record wins: an entry whose record another program changed is dropped whole.
        bool belongs = true;
        for (int k = 0; k < std::ssize(TextFields); ++k) {
            const TextField& f = TextFields[k];
            const QString* held = valueOf(entry.keys, f.recordKey);
            if (held ? *held != f.get(slot.rec) : k < BindingFields)
                belongs = false;
        }
        if (!belongs) {
            ++unused;
            continue;
        }
        for (const TextField& f : TextFields) {
            const QString* full = valueOf(entry.keys, f.key);
            const QString* held = valueOf(entry.keys, f.recordKey);
            if (full && held && *full != *held)
                slot.full.*f.full = *full;
        }
        for (const auto& key : entry.keys)
            if (!isKnownKey(key.first))
                slot.more.append(key);
    }
    if (unused > 0)
        keepUnusedSlots(content, unused, parsed.entries.size());
    return {};
}

void TSongInfo::keepUnusedSlots(const FileContent& content, qsizetype unused, qsizetype total)
{
    // The next save writes only the entries in use: the names of the others would be gone.
    const QString copy = freeName(content.slotsPath + QLatin1String(".unused-") + timeStamp(), QString());
    m_unusedSlotsNote = QStringLiteral("%1 of the %2 entries in %3, which holds the songs' names in full, "
                                       "match no song of the song file and were not used")
                            .arg(unused)
                            .arg(total)
                            .arg(QDir::toNativeSeparators(content.slotsPath));
    if (m_writer->replace(copy, content.slotsData)) {
        m_unusedSlotsNote += QStringLiteral("; the file was kept as %1.").arg(QDir::toNativeSeparators(copy));
        return;
    }
    // Not kept aside, so it is never replaced: this run's names go beside it.
    m_slotsUnreadable =
        QStringLiteral("%1 of its entries were not used, and it could not be kept aside").arg(unused);
    m_unusedSlotsNote += QStringLiteral("; it could not be kept aside (%1), so it is left as it is.")
                             .arg(m_writer->errorString());
}
