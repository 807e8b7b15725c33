// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayLogWriter.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PlayLogWriter::PlayLogWriter(QString folder, QByteArray header, Failed failed)
    : m_folder(std::move(folder))
    , m_header(std::move(header))
    , m_failed(std::move(failed))
    , m_thread([this] { run(); })
{
}

PlayLogWriter::~PlayLogWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    closeFile();
}

void PlayLogWriter::append(QDate day, QByteArray line)
{
    {
        const std::lock_guard lock(m_mutex);
        m_lines.push_back({day, std::move(line)});
    }
    m_wake.notify_one();
}

QString PlayLogWriter::fileOf(QDate day) const
{
    return m_folder + QLatin1Char('/') + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
}

void PlayLogWriter::run()
{
    for (;;) {
        Line line;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_lines.empty(); });
            if (m_lines.empty())
                return; // stopped, and everything written
            line = std::move(m_lines.front());
            m_lines.pop_front();
        }
        QString why;
        if (write(line, why)) {
            m_failing = false;
            continue;
        }
        closeFile(); // the next line opens it again: the disk may have come back
        if (!m_failing.exchange(true) && m_failed) {
            try {
                m_failed(why);
            } catch (...) {
                // Nothing of the show may depend on the log: its news is lost, the show goes on.
            }
        }
    }
}

namespace {

/// The whole of `data` appended; false with errno set when the file takes none or part of it.
bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool PlayLogWriter::write(const Line& line, QString& why)
{
    const QString path = fileOf(line.day);
    if (m_fd < 0 || line.day != m_openDay) {
        closeFile();
        if (!QDir().mkpath(m_folder)) {
            why = QStringLiteral("Cannot make the folder %1 for the log of what plays").arg(m_folder);
            return false;
        }
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            why = QStringLiteral("Cannot open the log of what plays %1: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_openDay = line.day;
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && st.st_size == 0 && !writeAll(m_fd, m_header)) {
            why = QStringLiteral("Cannot write the log of what plays %1: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    if (!writeAll(m_fd, line.text)) {
        why = QStringLiteral("Cannot write the log of what plays %1: %2")
                  .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void PlayLogWriter::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_openDay = QDate();
}
