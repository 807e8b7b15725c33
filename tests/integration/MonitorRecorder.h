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
    /// `channelMap`: the sink's own (e.g. "aux0,aux1,..."), so that each channel is recorded as
    /// it is, unmixed; empty: stereo.
    explicit MonitorRecorder(const QString& sink, int channels = 2, const QString& channelMap = {})
        : m_channels(channels)
    {
        QStringList args{QStringLiteral("--latency-msec=10"),
                         QStringLiteral("--raw"),
                         QStringLiteral("--format=s16le"),
                         QStringLiteral("--rate=44100"),
                         QStringLiteral("--channels=%1").arg(channels),
                         QStringLiteral("-d"),
                         sink + QStringLiteral(".monitor")};
        if (!channelMap.isEmpty())
            args << QStringLiteral("--channel-map=") + channelMap << QStringLiteral("--no-remix");
        m_process.start(QStringLiteral("parec"), args);
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
        const std::vector<std::int16_t> s = during(msecs);
        return s.size() < 4410 ? -200.0 : SinkRecorder::toneDb(s, 440.0);
    }
    /// What arrives during the next `msecs`, interleaved.
    std::vector<std::int16_t> during(int msecs)
    {
        m_process.readAllStandardOutput();
        QTest::qWait(msecs);
        const QByteArray bytes = m_process.readAllStandardOutput();
        const auto frameBytes = static_cast<qsizetype>(m_channels) * 2;
        std::vector<std::int16_t> s(static_cast<std::size_t>(bytes.size() / frameBytes * frameBytes) / 2);
        std::memcpy(s.data(), bytes.constData(), s.size() * 2);
        return s;
    }
    [[nodiscard]] int channels() const { return m_channels; }

private:
    int m_channels;
    QProcess m_process;
};
