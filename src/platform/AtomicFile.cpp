// SPDX-License-Identifier: GPL-3.0-or-later
#include "AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

/// The temporary file's name pattern beside the file `name`: ".name.XXXXXX".
QString temporaryPrefix(const QString& name)
{
    return QLatin1String(".") + name + QLatin1String(".");
}

/// Whether `fileName` is one of our temporaries of the file named `name`.
bool isTemporaryName(const QString& fileName, const QString& name)
{
    const QString prefix = temporaryPrefix(name);
    if (fileName.size() != prefix.size() + 6 || !fileName.startsWith(prefix))
        return false;
    for (const QChar c : QStringView(fileName).sliced(prefix.size()))
        if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))))
            return false;
    return true;
}

/// The temporaries of `target` (links followed) lying beside it.
QFileInfoList temporariesOf(const QString& target)
{
    const QFileInfo info(target);
    const QDir dir = info.absoluteDir();
    QFileInfoList found;
    // Names matched here: a name filter is a pattern compiled anew at each listing.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names)
        if (isTemporaryName(name, info.fileName()))
            found.append(QFileInfo(dir, name));
    return found;
}

/// The commit list of a replaceTogether() whose first file is `target` (links followed). Its
/// name does not have the temporaries' shape, so no sweep of temporaries takes it.
QString commitListPath(const QString& target)
{
    const QFileInfo info(target);
    return info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String("-commit");
}

const QByteArray CommitHead("sonavex-commit 1");
const QByteArray CommitEnd("end");

void syncFolder(const QString& dir)
{
    const int dfd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

/// Takes the file's lock, waiting for it; false when another process holds it and `wait` is
/// false. A file system without locks counts as "not held".
bool lockFile(int fd, bool wait)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0)
            return true;
        if (errno == EINTR)
            continue;
        return errno != EWOULDBLOCK;
    }
}

/// Makes a file with `create` (an open descriptor, or -1 with errno) and locks it. A cleaner
/// that found it before the lock was taken may have removed it: then it is made again.
template <typename Create> int createLocked(Create create)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = create();
        if (fd < 0)
            return -1;
        lockFile(fd, true);
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_nlink > 0)
            return fd;
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

/// Removes `path` unless a running writer holds it; taken under its lock, so that the writer
/// that made it a moment ago sees it gone and makes another.
void removeUnlessHeld(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == EACCES) // the mode of a write-only file: a lock needs any descriptor
        fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    if (lockFile(fd, false))
        ::unlink(name.constData());
    ::close(fd);
}

} // namespace

/// A temporary being written: locked for as long as its descriptor is open.
struct AtomicFileWriter::Temporary {
    QString target;  ///< the file it becomes
    QByteArray name; ///< its own path, encoded
    int fd = -1;

    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary()
    {
        if (fd >= 0)
            ::close(fd);
    }
    /// Removes it: it will never be renamed.
    void discard()
    {
        if (fd < 0)
            return;
        ::unlink(name.constData());
        ::close(fd);
        fd = -1;
    }
};

bool AtomicFileWriter::writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool AtomicFileWriter::fail(const QString& file, int error)
{
    m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file),
                                           QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

QString AtomicFileWriter::resolvedTarget(const QString& path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    // Follow the chain by hand: canonicalFilePath() gives nothing for a link whose
    // target does not exist yet, and the first save must create that target.
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        const QString target = info.symLinkTarget();
        if (target.isEmpty())
            return current;
        current = QFileInfo(target).absoluteFilePath();
    }
    return current; // a loop: the rename will fail and say so
}

void AtomicFileWriter::removeStaleTemporaries(const QString& path, std::chrono::seconds minAge)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-minAge.count());
    for (const QFileInfo& entry : temporariesOf(resolvedTarget(path)))
        if (minAge.count() == 0 || entry.lastModified() < before)
            QFile::remove(entry.absoluteFilePath());
}

void AtomicFileWriter::removeAbandonedTemporaries(const QString& path)
{
    for (const QFileInfo& entry : temporariesOf(resolvedTarget(path)))
        removeUnlessHeld(entry.absoluteFilePath());
}

bool AtomicFileWriter::writeTemporary(const QString& target, const QByteArray& content, Temporary& temporary)
{
    const QFileInfo info(target);
    const QString dir = info.absolutePath();
    if (!QFileInfo(dir).isDir())
        return fail(target, ENOENT);
    const QByteArray tmpl = QFile::encodeName(dir + QLatin1Char('/') + temporaryPrefix(info.fileName()) +
                                              QLatin1String("XXXXXX"));
    QByteArray name;
    const int fd = createLocked([&] {
        name = tmpl;
        return ::mkostemp(name.data(), O_CLOEXEC);
    });
    if (fd < 0)
        return fail(target, errno);
    temporary.target = target;
    temporary.name = name;
    temporary.fd = fd;
    // mkstemp makes the file private; keep the old file's mode, or the usual 0644.
    struct stat st {};
    const mode_t mode = ::stat(QFile::encodeName(target).constData(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    int error = 0;
    errno = 0;
    if (!writeAll(fd, content.constData(), content.size()))
        error = errno ? errno : EIO;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (error) {
        temporary.discard();
        return fail(target, error);
    }
    return true;
}

bool AtomicFileWriter::replace(const QString& path, const QByteArray& content)
{
    m_error.clear();
    const QString target = QFileInfo(resolvedTarget(path)).absoluteFilePath();
    Temporary temporary;
    if (!writeTemporary(target, content, temporary))
        return false;
    // Renamed while still open, so that it is held until it has its final name.
    if (::rename(temporary.name.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        temporary.discard();
        return fail(target, error);
    }
    // Make the rename itself durable.
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}

bool AtomicFileWriter::replaceTogether(const Files& files)
{
    m_error.clear();
    if (files.isEmpty())
        return true;
    std::vector<std::unique_ptr<Temporary>> temporaries;
    const auto discardAll = [&temporaries] {
        for (auto& temporary : temporaries)
            temporary->discard();
    };
    for (const auto& [path, content] : files) {
        auto temporary = std::make_unique<Temporary>();
        if (!writeTemporary(QFileInfo(resolvedTarget(path)).absoluteFilePath(), content, *temporary)) {
            discardAll();
            return false;
        }
        temporaries.push_back(std::move(temporary));
        betweenSteps();
    }

    // The commit: once the list is whole on disk, the next start completes the renames.
    const QString listPath = commitListPath(temporaries.front()->target);
    const QByteArray list = QFile::encodeName(listPath);
    QByteArray text = CommitHead + '\0';
    for (const auto& temporary : temporaries)
        text += temporary->name + '\0' + QFile::encodeName(temporary->target) + '\0';
    text += CommitEnd + '\0';
    const auto createList = [&list] {
        return ::open(list.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    };
    int listFd = createLocked(createList);
    if (listFd < 0 && errno == EEXIST) {
        // One left by a save that was killed: completed or dropped first.
        finishInterrupted(temporaries.front()->target);
        listFd = createLocked(createList);
    }
    if (listFd < 0) {
        const int error = errno;
        discardAll();
        return fail(listPath, error);
    }
    int error = 0;
    errno = 0;
    if (!writeAll(listFd, text.constData(), text.size()))
        error = errno ? errno : EIO;
    if (!error && ::fsync(listFd) != 0)
        error = errno;
    if (error) {
        ::unlink(list.constData());
        ::close(listFd);
        discardAll();
        return fail(listPath, error);
    }
    syncFolder(QFileInfo(listPath).absolutePath());
    betweenSteps();

    QStringList folders;
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
        const Temporary& temporary = *temporaries[i];
        if (::rename(temporary.name.constData(), QFile::encodeName(temporary.target).constData()) != 0) {
            error = errno;
            if (i == 0) {
                ::unlink(list.constData());
                ::close(listFd);
                discardAll();
            } else {
                ::close(listFd); // committed: the next start renames the rest
            }
            return fail(temporary.target, error);
        }
        const QString folder = QFileInfo(temporary.target).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
        betweenSteps();
    }
    for (const QString& folder : folders)
        syncFolder(folder);
    ::unlink(list.constData());
    ::close(listFd);
    return true;
}

void AtomicFileWriter::finishInterrupted(const QString& path)
{
    const QString listPath = commitListPath(QFileInfo(resolvedTarget(path)).absoluteFilePath());
    const QByteArray list = QFile::encodeName(listPath);
    const int fd = ::open(list.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    if (!lockFile(fd, false)) {
        ::close(fd); // a save at work
        return;
    }
    QByteArray text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, n);
    }
    // "head, (temporary, file)..., end", each ended by a zero byte; anything else was cut short
    // by the kill and never committed: its temporaries are strays.
    const QList<QByteArray> fields = text.split('\0');
    const qsizetype n = fields.size();
    bool whole = n >= 5 && fields.first() == CommitHead && fields[n - 2] == CommitEnd &&
                 fields.last().isEmpty() && (n - 3) % 2 == 0;
    // Only ever our temporaries onto the files they were made beside; a list that names
    // anything else is not ours, and not a word of it is followed.
    for (qsizetype i = 1; whole && i + 1 < n - 2; i += 2) {
        const QFileInfo temporary(QFile::decodeName(fields[i]));
        const QFileInfo file(QFile::decodeName(fields[i + 1]));
        whole = temporary.absolutePath() == file.absolutePath() &&
                isTemporaryName(temporary.fileName(), file.fileName());
    }
    QStringList folders;
    for (qsizetype i = 1; whole && i + 1 < n - 2; i += 2) {
        const QFileInfo fileInfo(QFile::decodeName(fields[i + 1]));
        struct stat st {};
        if (::lstat(fields[i].constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue; // renamed before the kill
        if (::rename(fields[i].constData(), fields[i + 1].constData()) == 0 &&
            !folders.contains(fileInfo.absolutePath()))
            folders.append(fileInfo.absolutePath());
    }
    for (const QString& folder : folders)
        syncFolder(folder);
    ::unlink(list.constData());
    ::close(fd);
}
