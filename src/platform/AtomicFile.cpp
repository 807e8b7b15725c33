// SPDX-License-Identifier: GPL-3.0-or-later
#include "AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// The temporary file's name pattern beside the file `name`: ".name.XXXXXX".
QString temporaryPrefix(const QString& name)
{
    return QLatin1String(".") + name + QLatin1String(".");
}

} // namespace

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
    const QFileInfo target(resolvedTarget(path));
    const QDir dir = target.absoluteDir();
    const QString prefix = temporaryPrefix(target.fileName());
    const QRegularExpression ours(QLatin1Char('^') + QRegularExpression::escape(prefix) +
                                  QLatin1String("[A-Za-z0-9]{6}$"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-minAge.count());
    const auto entries =
        dir.entryInfoList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries)
        if (ours.match(entry.fileName()).hasMatch() && (minAge.count() == 0 || entry.lastModified() < before))
            QFile::remove(entry.absoluteFilePath());
}

bool AtomicFileWriter::replace(const QString& path, const QByteArray& content)
{
    m_error.clear();
    const QFileInfo info(resolvedTarget(path));
    const QString dir = info.absolutePath();
    const QString target = info.absoluteFilePath();
    if (!QFileInfo(dir).isDir())
        return fail(target, ENOENT);

    QByteArray tmpl = QFile::encodeName(dir + QLatin1Char('/') + temporaryPrefix(info.fileName()) +
                                        QLatin1String("XXXXXX"));
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return fail(target, errno);
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
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(tmpl.constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(tmpl.constData());
        return fail(target, error);
    }
    // Make the rename itself durable.
    const int dfd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}
