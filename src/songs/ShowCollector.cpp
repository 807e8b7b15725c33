// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowCollector.h"

#include "SongStruc.h"
#include "StandIn.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"
#include "platform/Registry.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QStringList ShowCollector::ShowSections = {QStringLiteral("Tabs"), QStringLiteral("Keys"),
                                                 QStringLiteral("Midi")};

namespace {
constexpr qsizetype ChunkSize = 1 << 20;
constexpr int RecordPathLength = 255;

/// A CD track name of this program or the older system's: "... .cda" in any case.
bool isCdTrack(const QString& path)
{
    qsizetype sep = -1;
    for (const char c : {'\\', ':', '/'})
        sep = std::max(sep, path.lastIndexOf(QLatin1Char(c)));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > sep && path.mid(dot).compare(QLatin1String(".cda"), Qt::CaseInsensitive) == 0;
}

QString where(int sheet, int slot, const QString& path)
{
    return QStringLiteral("sheet %1, button %2: %3").arg(sheet + 1).arg(slot + 1).arg(path);
}

/// "007 Name.mp3": the number keeps names unique, the name is cut so that the whole path fits
/// the song record where the folder leaves room for it.
QString copyName(int number, const QString& source, qsizetype room)
{
    const QFileInfo info(source);
    const QString prefix = QStringLiteral("%1 ").arg(number, 3, 10, QLatin1Char('0'));
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString base = info.completeBaseName();
    const qsizetype fits = room - prefix.size() - suffix.size();
    if (base.size() > fits)
        base = cutText(base, std::max<qsizetype>(fits, 8));
    return prefix + base + suffix;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

/// What the collect made, removed again in reverse order unless it is kept.
class Made {
public:
    ~Made()
    {
        if (m_keep)
            return;
        for (auto it = m_paths.crbegin(); it != m_paths.crend(); ++it) {
            const QByteArray name = QFile::encodeName(it->first);
            if (it->second)
                ::rmdir(name.constData());
            else
                ::unlink(name.constData());
        }
    }
    void file(const QString& path) { m_paths.append({path, false}); }
    void folder(const QString& path) { m_paths.append({path, true}); }
    void keep() { m_keep = true; }

private:
    QList<std::pair<QString, bool>> m_paths;
    bool m_keep = false;
};

struct Failure {
    QString message;
};
struct Cancelled {};

class Fd {
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return m_fd; }
    /// Closes and says whether the close reported an error (a full disk may say so only here).
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

/// Reads all of `path` in chunks, handing each to `take`; returns the digest.
QByteArray readAll(const QString& path, const std::function<void(const char*, qsizetype)>& take)
{
    Fd in(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0)
        throw Failure{QStringLiteral("%1 could not be read: %2").arg(path, systemReason(errno))};
    struct stat st {};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Failure{QStringLiteral("%1 could not be read: not a regular file").arg(path)};
    QCryptographicHash digest(QCryptographicHash::Sha1);
    QByteArray buffer(ChunkSize, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), static_cast<std::size_t>(buffer.size()));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Failure{QStringLiteral("%1 could not be read: %2").arg(path, systemReason(errno))};
        }
        digest.addData(QByteArrayView(buffer.constData(), n));
        take(buffer.constData(), n);
    }
    return digest.result();
}
} // namespace

ShowCollector::ShowCollector(Writer writer)
    : m_writer(writer ? std::move(writer) : Writer([](int fd, const void* data, std::size_t size) {
        return ::write(fd, data, size);
    }))
{
}

QByteArray ShowCollector::settingsText(Registry& registry, const QStringList& sections)
{
    QByteArray text;
    for (const QString& section : sections) {
        if (!registry.OpenKey(QLatin1String("\\Software\\Brasswold\\") + section, false))
            continue;
        text += '[' + section.toUtf8() + "]\n";
        const QStringList names = registry.GetValueNames();
        for (const QString& name : names)
            text += name.toUtf8() + '=' + registry.ReadString(name).toUtf8() + '\n';
        text += '\n';
        registry.CloseKey();
    }
    return text;
}

QString ShowCollector::openShow(Registry& registry, const QString& folder)
{
    const QString dir = QDir::cleanPath(QDir(folder).absolutePath());
    const QString infoPath = dir + QLatin1String("/songs.inf");
    if (!QFileInfo(infoPath).isFile())
        throw GeneralError(QStringLiteral("%1 holds no song file (songs.inf).").arg(dir));

    QString before;
    if (registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), false)) {
        before = registry.ReadString(QStringLiteral("InfoPath"));
        registry.CloseKey();
    }
    if (before.isEmpty())
        before = TSongInfo::defaultInfoPath();
    const QString beforeDir = QFileInfo(before).absolutePath();
    QString kept = beforeDir + QLatin1Char('/') + QLatin1String(SettingsFile);
    if (QFileInfo::exists(kept) || QFileInfo(kept).isSymLink())
        kept = beforeDir + QLatin1String("/show-before-") +
               QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
               QLatin1String(".ini");
    QDir().mkpath(beforeDir);
    QFile keep(kept);
    const QByteArray current = settingsText(registry, ShowSections);
    if (!keep.open(QIODevice::WriteOnly | QIODevice::NewOnly) || keep.write(current) != current.size() ||
        !keep.flush())
        throw GeneralError(QStringLiteral("The settings of the show before could not be kept in %1 (%2); "
                                          "nothing was changed.")
                               .arg(kept, keep.errorString()));
    keep.close();

    IniRegistry reader(dir); // show.ini is the file of the key "Software\\show"
    for (const QString& section : ShowSections) {
        QList<std::pair<QString, QString>> values;
        if (reader.OpenKey(QLatin1String("\\Software\\show\\") + section, false)) {
            const QStringList names = reader.GetValueNames();
            for (const QString& name : names)
                values.append({name, reader.ReadString(name)});
            reader.CloseKey();
        }
        registry.OpenKey(QLatin1String("\\Software\\Brasswold\\") + section, true);
        const QStringList old = registry.GetValueNames();
        for (const QString& name : old)
            registry.DeleteValue(name);
        for (const auto& [name, value] : values)
            registry.WriteString(name, value);
        registry.CloseKey();
    }
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
    registry.WriteString(QStringLiteral("InfoPath"), infoPath);
    registry.CloseKey();
    return QStringLiteral("The show in %1 is now the board's show.\n"
                          "The settings of the show before (%2) were kept in %3.\n")
        .arg(dir, before, kept);
}

ShowCollector::Plan ShowCollector::plan(const TSongInfo& store, Registry& registry, const QString& folder)
{
    Plan plan;
    plan.folder = QDir::cleanPath(QDir(folder).absolutePath());
    const QString songsFolder =
        plan.folder + QLatin1Char('/') + QLatin1String(SongsFolder) + QLatin1Char('/');
    QHash<QString, QString> renamed;
    QSet<QString> planned;
    for (int sheet = 0; sheet < SheetCount; ++sheet) {
        for (int slot = 0; slot < SlotCount; ++slot) {
            const QString stored = store.fileName(sheet, slot);
            if (stored.isEmpty())
                continue;
            if (isCdTrack(stored)) {
                plan.cdTracks << where(sheet, slot, stored);
                continue;
            }
            if (planned.contains(stored))
                continue;
            const QFileInfo source(store.playPath(stored));
            if (!source.isFile()) {
                plan.missing << where(sheet, slot, stored);
                continue;
            }
            planned.insert(stored);
            const QString name = copyName(static_cast<int>(plan.songs.size()) + 1, source.fileName(),
                                          RecordPathLength - songsFolder.size());
            const QString copy = QLatin1String(SongsFolder) + QLatin1Char('/') + name;
            plan.songs.append({stored, source.absoluteFilePath(), copy, source.size()});
            plan.bytes += source.size();
            const QString path = songsFolder + name;
            renamed.insert(stored, path);
            if (standIn(path, RecordPathLength) != path)
                plan.longPaths << path;
        }
    }
    std::tie(plan.songFile, plan.slotsFile) = store.imagesRenamed(renamed);
    plan.settings = settingsText(registry, ShowSections);
    return plan;
}

bool ShowCollector::Report::complete(const Plan& plan) const
{
    return outcome == Outcome::Done && plan.missing.isEmpty();
}

QString ShowCollector::Report::text(const Plan& plan, int listed) const
{
    if (outcome == Outcome::Cancelled)
        return QStringLiteral("Collect Show was cancelled: nothing was left in %1.\n").arg(plan.folder);
    if (outcome == Outcome::Failed)
        return QStringLiteral("Collect Show failed: %1\nNothing was left in %2.\n").arg(error, plan.folder);
    QString text = QStringLiteral("Collected the show into %1\n").arg(plan.folder);
    const auto list = [&text, listed](const QString& heading, const QStringList& lines) {
        if (lines.isEmpty())
            return;
        text += heading.arg(lines.size()) + QLatin1Char('\n');
        const qsizetype shown = listed < 0 ? lines.size() : std::min<qsizetype>(listed, lines.size());
        for (qsizetype i = 0; i < shown; ++i)
            text += QLatin1String("  ") + lines[i] + QLatin1Char('\n');
        if (shown < lines.size())
            text += QStringLiteral("  ... and %1 more\n").arg(lines.size() - shown);
    };
    QStringList copied;
    for (const Song& song : plan.songs)
        copied << song.copy + QLatin1String(" <- ") + song.stored;
    list(QStringLiteral("Copied and checked: %1 song files, ") + sizeText(bytes) +
             QStringLiteral(" (%1 bytes).").arg(bytes),
         copied);
    if (copied.isEmpty())
        text += QStringLiteral("No song file to copy.\n");
    list(QStringLiteral("Missing, kept as stored: %1"), plan.missing);
    list(QStringLiteral("CD tracks, kept as CD tracks: %1"), plan.cdTracks);
    list(QStringLiteral("Longer than a song record holds, kept in full in songs.slots: %1"), plan.longPaths);
    return text;
}

ShowCollector::Report ShowCollector::run(const Plan& plan, const Progress& progress,
                                         const std::atomic<bool>* cancel) const
{
    Report report;
    Made made;
    const qint64 total = 2 * plan.bytes;
    qint64 done = 0;
    const auto step = [&](qsizetype n) {
        done += n;
        if (progress)
            progress(done, total);
        if (cancel && cancel->load())
            throw Cancelled{};
    };
    // Writes all of `size` bytes, a chunk at a time.
    const auto writeAll = [&](int fd, const char* data, qsizetype size, const QString& path) {
        while (size > 0) {
            const ssize_t n = m_writer(fd, data, static_cast<std::size_t>(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;
                throw Failure{
                    error == ENOSPC || error == EDQUOT
                        ? QStringLiteral("the disk is full (writing %1)").arg(path)
                        : QStringLiteral("%1 could not be written: %2").arg(path, systemReason(error))};
            }
            data += n;
            size -= n;
        }
    };
    const auto create = [&](const QString& path) {
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            throw Failure{QStringLiteral("%1 could not be made: %2").arg(path, systemReason(errno))};
        made.file(path);
        return fd;
    };
    // The data reaches the disk before the file counts as written: a full disk may say so only then.
    const auto finish = [&](Fd& out, const QString& path) {
        if (::fsync(out.get()) != 0 || out.close() != 0)
            throw Failure{errno == ENOSPC || errno == EDQUOT
                              ? QStringLiteral("the disk is full (writing %1)").arg(path)
                              : QStringLiteral("%1 could not be written: %2").arg(path, systemReason(errno))};
    };
    const auto writeFile = [&](const QString& path, const QByteArray& data) {
        Fd out(create(path));
        writeAll(out.get(), data.constData(), data.size(), path);
        finish(out, path);
    };

    try {
        const QDir folder(plan.folder);
        if (folder.exists()) {
            if (!folder.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
                throw Failure{QStringLiteral("%1 is not empty: choose an empty folder.").arg(plan.folder)};
        } else {
            // Each folder made, from the outermost, so that a failure takes all of them away.
            QStringList missing;
            for (QString up = plan.folder; !QFileInfo::exists(up); up = QFileInfo(up).path())
                missing.prepend(up);
            for (const QString& path : std::as_const(missing)) {
                if (!QDir().mkdir(path))
                    throw Failure{QStringLiteral("The folder %1 could not be made.").arg(path)};
                made.folder(path);
            }
        }
        const QString songs = plan.folder + QLatin1Char('/') + QLatin1String(SongsFolder);
        if (!plan.songs.isEmpty()) {
            if (!QDir().mkdir(songs))
                throw Failure{QStringLiteral("The folder %1 could not be made.").arg(songs)};
            made.folder(songs);
        }

        QList<QByteArray> digests;
        for (const Song& song : plan.songs) {
            const QString path = plan.folder + QLatin1Char('/') + song.copy;
            Fd out(create(path));
            digests << readAll(song.source, [&](const char* data, qsizetype n) {
                writeAll(out.get(), data, n, path);
                step(n);
            });
            finish(out, path);
        }
        writeFile(plan.folder + QLatin1String("/songs.inf"), plan.songFile);
        if (!plan.slotsFile.isEmpty())
            writeFile(plan.folder + QLatin1String("/songs.slots"), plan.slotsFile);
        writeFile(plan.folder + QLatin1Char('/') + QLatin1String(SettingsFile), plan.settings);

        // Each copy read back: the same size and the same digest as what was read of its song.
        for (qsizetype i = 0; i < plan.songs.size(); ++i) {
            const QString path = plan.folder + QLatin1Char('/') + plan.songs[i].copy;
            qint64 size = 0;
            const QByteArray digest = readAll(path, [&](const char*, qsizetype n) {
                size += n;
                step(n);
            });
            if (digest != digests[i] || size != QFileInfo(plan.songs[i].source).size())
                throw Failure{QStringLiteral("the copy %1 differs from %2").arg(path, plan.songs[i].source)};
            report.bytes += size;
        }
        made.keep();
        report.outcome = Report::Outcome::Done;
    } catch (const Failure& failure) {
        report.outcome = Report::Outcome::Failed;
        report.error = failure.message;
        report.bytes = 0;
    } catch (const Cancelled&) {
        report.outcome = Report::Outcome::Cancelled;
        report.bytes = 0;
    }
    return report;
}
