// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/// Appends lines to one file a day, `folder/YYYY-MM-DD.csv`, on a thread of its own, so that the
/// caller never waits for the disk. A new or empty file starts with the header line. Each line
/// goes out whole in one append and nothing is buffered, so a crash loses at most the line being
/// written. The day is the line's own: lines past midnight go on in the next day's file.
class PlayLogWriter {
public:
    /// Called on the writer's thread when a line cannot be written, once until a line is
    /// written again; the line is dropped and the next one tries again.
    using Failed = std::function<void(const QString& message)>;

    PlayLogWriter(QString folder, QByteArray header, Failed failed);
    /// Writes what still waits, then ends the thread.
    ~PlayLogWriter();
    PlayLogWriter(const PlayLogWriter&) = delete;
    PlayLogWriter& operator=(const PlayLogWriter&) = delete;

    /// `line` (with its line break) into the file of `day`.
    void append(QDate day, QByteArray line);
    [[nodiscard]] QString fileOf(QDate day) const;
    /// The next line that cannot be written is said again, though none was written since.
    void sayNextFailure() { m_failing = false; }

private:
    struct Line {
        QDate day;
        QByteArray text;
    };

    void run();
    /// False with `why` set when the line could not be written.
    bool write(const Line& line, QString& why);
    void closeFile();

    const QString m_folder;
    const QByteArray m_header;
    const Failed m_failed;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Line> m_lines;
    bool m_stop = false;
    std::atomic<bool> m_failing = false; ///< said already; reset by a line written

    // The writer's thread alone.
    int m_fd = -1;
    QDate m_openDay;

    std::thread m_thread; ///< last: started once everything above is made
};
