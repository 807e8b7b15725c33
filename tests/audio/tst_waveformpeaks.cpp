// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PeaksLoader.h"
#include "audio/WaveformPeaks.h"
#include "fakes/MediaFiles.h"
#include "platform/Errors.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <numeric>

namespace {
/// The loudest and the average peak of seconds `from`..`to`.
std::pair<float, float> stretch(const WaveformPeaks& w, double from, double to)
{
    const auto perSecond = 44100.0 / WaveformPeaks::FramesPerPeak;
    const auto a = w.peaks.cbegin() + static_cast<long>(from * perSecond);
    const auto b = w.peaks.cbegin() + static_cast<long>(to * perSecond);
    return {*std::max_element(a, b), std::accumulate(a, b, 0.0f) / static_cast<float>(b - a)};
}
} // namespace

class TestWaveformPeaks : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString toneFile()
    {
        // A second loud, a second of silence, a second at half that level.
        std::vector<std::int16_t> s = MediaFiles::tone(440.0, 1.0, 0.5);
        s.resize(s.size() * 2, 0);
        const std::vector<std::int16_t> soft = MediaFiles::tone(440.0, 1.0, 0.25);
        s.insert(s.end(), soft.cbegin(), soft.cend());
        const QString path = m_dir.filePath(QStringLiteral("shape.wav"));
        MediaFiles::writeWav(path, s);
        return path;
    }

private Q_SLOTS:
    void peaksFollowTheShapeOfAKnownTone()
    {
        const std::atomic<bool> cancel{false};
        const WaveformPeaks w = computeWaveformPeaks(toneFile(), cancel);
        QCOMPARE(w.seconds, 3.0);
        QCOMPARE(w.peaks.size(), std::size_t{300});
        const struct {
            double from, to;
            float peak;
        } expected[] = {{0.05, 0.95, 0.5f}, {1.05, 1.95, 0.0f}, {2.05, 2.95, 0.25f}};
        for (const auto& e : expected) {
            const auto [loudest, average] = stretch(w, e.from, e.to);
            QVERIFY2(std::abs(loudest - e.peak) < 0.01f && std::abs(average - e.peak) < 0.02f,
                     qPrintable(QStringLiteral("%1 s: %2 / %3").arg(e.from).arg(loudest).arg(average)));
        }
    }

    void aFileThatCannotBeReadFailsOnTheLoadersThread_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not sound") << QByteArray("this is no sound file at all, just words", 40);
    }

    void aFileThatCannotBeReadFailsOnTheLoadersThread()
    {
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("broken.wav"));
        QFile::remove(path);
        if (!bytes.isEmpty())
            QVERIFY(MediaFiles::writeBytes(path, bytes));
        const std::atomic<bool> cancel{false};
        QVERIFY_THROWS_EXCEPTION(DeviceError, (void)computeWaveformPeaks(path, cancel));
        PeaksLoader loader;
        QSignalSpy failed(&loader, &PeaksLoader::failed);
        QSignalSpy loaded(&loader, &PeaksLoader::loaded);
        loader.load(path);
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(!failed.first().first().toString().isEmpty());
        QCOMPARE(loaded.count(), 0);
    }

    void anAbandonedLoadIsNotDelivered()
    {
        PeaksLoader loader;
        QSignalSpy loaded(&loader, &PeaksLoader::loaded);
        loader.load(toneFile());
        loader.load(QStringLiteral("/no/such/file.wav")); // in its place
        QSignalSpy failed(&loader, &PeaksLoader::failed);
        QTRY_COMPARE(failed.count(), 1);
        QTest::qWait(50);
        QCOMPARE(loaded.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWaveformPeaks)
#include "tst_waveformpeaks.moc"
