// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SinkRecorder.h"

#include <QProcess>
#include <QTest>

#include <cstring>
#include <vector>

/// Records the monitor of one sink by name through the server's own recorder.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const QString& sink)
    {
        m_process.start(QStringLiteral("parec"),
                        {QStringLiteral("--latency-msec=10"), QStringLiteral("--raw"),
                         QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                         QStringLiteral("--channels=2"), QStringLiteral("-d"),
                         sink + QStringLiteral(".monitor")});
        m_process.waitForStarted(3000);
        // A new null sink hands out its first block after up to two seconds.
        m_process.waitForReadyRead(4000);
    }
    ~MonitorRecorder()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    /// The level of the 440 Hz tone in what arrives during the next `msecs`.
    double toneDb(int msecs)
    {
        m_process.readAllStandardOutput();
        QTest::qWait(msecs);
        const QByteArray bytes = m_process.readAllStandardOutput();
        std::vector<std::int16_t> s(static_cast<std::size_t>(bytes.size()) / 2);
        std::memcpy(s.data(), bytes.constData(), s.size() * 2);
        return s.size() < 4410 ? -200.0 : SinkRecorder::toneDb(s, 440.0);
    }

private:
    QProcess m_process;
};
