// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/Board.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class PlayLogWriter;

/// The log of what played, for the show's reports: a CSV line when a song starts and one when
/// it ends (when, sheet, slot, title, file, how long it played, how it ended, what started it),
/// in one file a day, written off the interface thread. Off until turned on; a log that cannot be
/// written is said once through `failed` and the show goes on.
class PlayLog : public QObject {
    Q_OBJECT
public:
    /// How a song ended.
    enum class Ended { SongEnd, Stop, StopAll, Fade, Next, Lost, Quit };
    /// What started a song: a press (and where it came from), the Play command, or the queue
    /// moving on by itself.
    struct Start {
        enum class Kind { Press, Play, Queue } kind = Kind::Press;
        PressedBy by = PressedBy::Mouse;
    };
    struct Song {
        int sheet = -1; ///< -1 when no slot holds the song any more
        int slot = -1;
        QString title;
        QString file;
    };

    static inline const QString Header = QStringLiteral("time,event,sheet,slot,title,file,played,ended,by");

    /// `folder` is made when the first line is written.
    PlayLog(QString folder, std::function<void(const QString& message)> failed, QObject* parent = nullptr);
    ~PlayLog() override;

    /// The default folder: `$XDG_DATA_HOME/Sonavex/logs`.
    [[nodiscard]] static QString defaultFolder();

    /// Turning it off keeps the end of a song whose start was written, so lines come in pairs.
    void setEnabled(bool on);
    [[nodiscard]] bool enabled() const { return m_enabled; }

    /// A song started; one still open ends first, replaced by it.
    void started(const Song& song, Start start);
    /// The operator's stop of the song that plays: its end, when it comes, is for this reason.
    void ending(Ended why) { m_pending = why; }
    /// The song that plays ended: for the reason given with `ending`, else by itself.
    void ended();
    void ended(Ended why);
    /// Paused time does not count as played.
    void paused();
    void resumed();

    /// One field of a CSV line (RFC 4180): quoted when it holds a comma, a quote or a line break.
    [[nodiscard]] static QString field(const QString& text);
    [[nodiscard]] static QString endedName(Ended why);
    [[nodiscard]] static QString startName(Start start);

private:
    void write(const QDateTime& at, const QString& event, qint64 playedMs, const QString& ended);

    const QString m_folder;
    const std::function<void(const QString&)> m_failed;
    std::unique_ptr<PlayLogWriter> m_writer; ///< made when the log is first turned on
    bool m_enabled = false;

    bool m_open = false; ///< a song's start is written and its end is not
    Song m_song;
    QString m_by;
    QElapsedTimer m_clock;
    qint64 m_pausedMs = 0;
    qint64 m_pausedAt = -1; ///< on m_clock; -1 while not paused
    std::optional<Ended> m_pending;
};
