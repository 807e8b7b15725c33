// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayLog.h"

#include "core/PlayLogWriter.h"
#include "platform/Guard.h"

#include <QMetaObject>
#include <QStandardPaths>

PlayLog::PlayLog(QString folder, std::function<void(const QString& message)> failed, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_failed(std::move(failed))
{
}

PlayLog::~PlayLog() = default;

QString PlayLog::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Sonavex/logs");
}

void PlayLog::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        return;
    if (m_writer) {
        m_writer->sayNextFailure(); // turned on again: a disk that still fails is said again
        return;
    }
    // The writer's news comes back to the interface thread. The writer ends before this object
    // does, and news still posted to it is dropped with it.
    m_writer = std::make_unique<PlayLogWriter>(m_folder, (Header + QStringLiteral("\r\n")).toUtf8(),
                                               [this](const QString& message) {
                                                   QMetaObject::invokeMethod(
                                                       this,
                                                       [this, message] {
                                                           guard([&] {
                                                               if (m_failed)
                                                                   m_failed(message);
                                                           });
                                                       },
                                                       Qt::QueuedConnection);
                                               });
}

QString PlayLog::field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString PlayLog::endedName(Ended why)
{
    switch (why) {
    case Ended::SongEnd:
        return QStringLiteral("end");
    case Ended::Stop:
        return QStringLiteral("stop");
    case Ended::StopAll:
        return QStringLiteral("stop all");
    case Ended::Fade:
        return QStringLiteral("fade");
    case Ended::Next:
        return QStringLiteral("next");
    case Ended::Lost:
        return QStringLiteral("output lost");
    case Ended::Quit:
        return QStringLiteral("exit");
    }
    return {};
}

QString PlayLog::startName(Start start)
{
    switch (start.kind) {
    case Start::Kind::Play:
        return QStringLiteral("play");
    case Start::Kind::Queue:
        return QStringLiteral("queue");
    case Start::Kind::Press:
        break;
    }
    switch (start.by) {
    case PressedBy::Mouse:
        return QStringLiteral("mouse");
    case PressedBy::Key:
        return QStringLiteral("key");
    case PressedBy::Midi:
        return QStringLiteral("midi");
    case PressedBy::Osc:
        return QStringLiteral("osc");
    case PressedBy::Web:
        return QStringLiteral("web");
    }
    return {};
}

void PlayLog::started(const Song& song, Start start)
{
    if (m_open)
        ended(Ended::Next);
    m_pending.reset();
    if (!m_enabled)
        return;
    m_open = true;
    m_song = song;
    m_by = startName(start);
    m_clock.start();
    m_pausedMs = 0;
    m_pausedAt = -1;
    write(QDateTime::currentDateTime(), QStringLiteral("start"), -1, QString());
}

void PlayLog::ended()
{
    ended(m_pending.value_or(Ended::SongEnd));
}

void PlayLog::ended(Ended why)
{
    m_pending.reset();
    if (!m_open)
        return;
    m_open = false;
    resumed();
    write(QDateTime::currentDateTime(), QStringLiteral("end"), m_clock.elapsed() - m_pausedMs,
          endedName(why));
}

void PlayLog::paused()
{
    if (m_open && m_pausedAt < 0)
        m_pausedAt = m_clock.elapsed();
}

void PlayLog::resumed()
{
    if (m_pausedAt < 0)
        return;
    m_pausedMs += m_clock.elapsed() - m_pausedAt;
    m_pausedAt = -1;
}

void PlayLog::write(const QDateTime& at, const QString& event, qint64 playedMs, const QString& ended)
{
    if (!m_writer)
        return;
    const bool placed = m_song.sheet >= 0;
    const QString line =
        QStringList{at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                    event,
                    placed ? QString::number(m_song.sheet + 1) : QString(),
                    placed ? QString::number(m_song.slot + 1) : QString(),
                    field(m_song.title),
                    field(m_song.file),
                    playedMs >= 0 ? QString::number(static_cast<double>(playedMs) / 1000.0, 'f', 3)
                                  : QString(),
                    ended,
                    m_by}
            .join(QLatin1Char(',')) +
        QStringLiteral("\r\n");
    m_writer->append(at.date(), line.toUtf8());
}
