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
/// A temporary file younger than this may be another running copy's save in progress.
constexpr std::chrono::seconds StaleTemporaryAge{30};

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
    if (!slot)
        slot = std::make_unique<TSongRecord>();
    std::memcpy(slot.get(), &Rec, sizeof Rec);
    locate(slot->FileName.str());
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
    for (int k = 0; k < SlotCount; ++k) {
        const auto& rec = Songs[index(Sheet, k)];
        if (rec && !found(rec->FileName.str()).path.isEmpty())
            ++count;
    }
    return count;
}

QStringList TSongInfo::useFoundPaths(int Sheet)
{
    QStringList kept;
    for (int k = 0; k < SlotCount; ++k) {
        const auto& rec = Songs[index(Sheet, k)];
        if (!rec)
            continue;
        const QString path = found(rec->FileName.str()).path;
        if (path.isEmpty())
            continue;
        // A path cut short or with "?" for a character would name another file, or none.
        if (path.size() > 255 || !Ansi::holds(path)) {
            kept << path;
            continue;
        }
        rec->FileName.set(path);
        locate(path);
    }
    return kept;
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
    AtomicFileWriter::removeStaleTemporaries(infoPath, StaleTemporaryAge);
    switch (readWholeFile(infoPath, content.data, content.reason)) {
    case ReadResult::Missing:
        content.kind = FileContent::Kind::Missing;
        break;
    case ReadResult::Failed:
        content.kind = FileContent::Kind::Failed;
        break;
    case ReadResult::Read:
        content.kind = FileContent::Kind::Read;
        break;
    }
    return content;
}

QString TSongInfo::takeFile(const FileContent& content, bool inBox)
{
    m_taken = true;
    m_locator = std::make_unique<SongLocator>(content.folder);
    for (const auto& rec : Songs)
        if (rec)
            locate(rec->FileName.str()); // the operator's songs of the wait
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
            if (Songs[index(sheet, slot)] && !fromFile.contains(index(sheet, slot)))
                continue;
            SetSong(sheet, slot, rec);
            fromFile.insert(index(sheet, slot));
            ++good;
        }
        const qint64 stray = data.size() % RecordSize;
        if (bad > 0 || stray > 0) {
            text = keepDamagedOriginal(good, bad, stray);
            style = Dialogs::Style::Information;
        }
        break;
    }
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
    QByteArray data;
    for (const auto& rec : Songs)
        if (rec)
            data.append(reinterpret_cast<const char*>(rec.get()), RecordSize);

    if (!m_unreadable.isEmpty()) {
        // What could not be read is never replaced: this run's songs go beside it.
        saveBeside(data, QStringLiteral("could not be read when Sonavex started"));
        return;
    }
    if (!m_read && QFileInfo::exists(AtomicFileWriter::resolvedTarget(InfoPath))) {
        // A song file that came (back) during the run was never read: replacing it would
        // lose its songs. The run started empty, so an empty store changed nothing.
        saveBeside(data, QStringLiteral("appeared while Sonavex ran, after it had found none"));
        return;
    }
    if (isDefaultPath())
        QDir().mkpath(QFileInfo(InfoPath).absolutePath());
    if (!m_writer->replace(InfoPath, data))
        rescue(data, m_writer->errorString());
}

void TSongInfo::saveToRescueFile()
{
    QByteArray data;
    for (const auto& rec : Songs)
        if (rec)
            data.append(reinterpret_cast<const char*>(rec.get()), RecordSize);
    m_saved = true;
    rescue(data, QStringLiteral("%1: the drive does not answer").arg(QDir::toNativeSeparators(InfoPath)));
}

void TSongInfo::saveBeside(const QByteArray& data, const QString& because)
{
    if (data.isEmpty())
        return;
    const QString beside = freeName(InfoPath + QLatin1String(".saved-") + timeStamp(), QString());
    if (!m_writer->replace(beside, data)) {
        rescue(data, m_writer->errorString());
        return;
    }
    m_dialogs.messageBox(
        nullptr,
        QStringLiteral("The song file %1 %2, so it was left as it was. This run's songs were "
                       "saved as %3.")
            .arg(QDir::toNativeSeparators(InfoPath), because, QDir::toNativeSeparators(beside)),
        Dialogs::Style::Information, Dialogs::Buttons::Ok);
}

void TSongInfo::rescue(const QByteArray& data, const QString& why)
{
    const QString folder = QFileInfo(defaultInfoPath()).absolutePath();
    const QString name =
        freeName(folder + QLatin1String("/songs-rescued-") + timeStamp(), QStringLiteral(".inf"));
    QString text = QStringLiteral("Unable to save file!\n\n%1.\n\n").arg(why);
    if (!QDir().mkpath(folder))
        text += QStringLiteral("The songs could not be saved to %1 either: the folder cannot be made.")
                    .arg(QDir::toNativeSeparators(folder));
    else if (m_writer->replace(name, data))
        text += QStringLiteral("The songs were saved to %1 instead.").arg(QDir::toNativeSeparators(name));
    else
        text += QStringLiteral("The songs could not be saved to %1 either (%2).")
                    .arg(QDir::toNativeSeparators(folder), m_writer->errorString());
    m_dialogs.messageBox(nullptr, text, Dialogs::Style::Error, Dialogs::Buttons::Ok);
}
