// SPDX-License-Identifier: GPL-3.0-or-later
// The player on the test audio server: what it plays is recorded from the null sink's monitor.
#include "SinkRecorder.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "audio/SongLevels.h"
#include "fakes/MediaFiles.h"
#include "platform/Errors.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace MediaFiles;

namespace {
/// An unusual pitch, so that sounds of other programs on the shared server barely count.
constexpr double ToneHz = 1234.0;
constexpr double ToneDb = -6.02; // amplitude 0.5
} // namespace

class TestMediaPlayerAudio : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<PulseAudioEngine> m_engine;
    std::unique_ptr<SinkRecorder> m_recorder;
    QString m_long;

    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        m_engine = std::make_unique<PulseAudioEngine>(QStringLiteral("sonavex-test"));
        QVERIFY2(m_engine->waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        // start-test-audio returns only once this holds; without it the first tests hear silence.
        const QString notReady = SinkRecorder::sinkNotReady();
        QVERIFY2(notReady.isEmpty(), qPrintable(notReady));
        m_recorder = std::make_unique<SinkRecorder>(*m_engine);
        m_long = file("long.wav");
        QVERIFY(writeWav(m_long, tone(ToneHz, 4.0)));
    }

    void cleanupTestCase()
    {
        qInfo("dropouts: %d", m_engine->underflowCount());
        m_recorder.reset();
        m_engine.reset();
    }

    void shouldBeHeardAndReportItsEnd()
    {
        QVERIFY(writeWav(file("short.wav"), tone(ToneHz, 1.0)));
        MediaPlayerControl player(*m_engine);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(file("short.wav"));
        QCOMPARE(player.duration(), 1.0);
        const auto heard = m_recorder->during(600, 150);
        QVERIFY2(std::abs(SinkRecorder::toneDb(heard, ToneHz) - ToneDb) < 1.0,
                 qPrintable(QString::number(SinkRecorder::toneDb(heard, ToneHz))));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 3000);
        QCOMPARE(spy.at(1).at(1).toInt(), int(MediaPlayer::Stopped));
        QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
    }

    void shouldFallSilentWhilePausedAndGoOnWhenResumed()
    {
        MediaPlayerControl player(*m_engine);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_long);
        QTest::qWait(300);
        player.pause();
        QTest::qWait(100);
        const double pausedAt = player.currentPosition();
        QVERIFY2(pausedAt > 0.2 && pausedAt < 0.6, qPrintable(QString::number(pausedAt)));
        QVERIFY(SinkRecorder::toneDb(m_recorder->during(300, 50), ToneHz) < -50.0);
        QCOMPARE(player.currentPosition(), pausedAt);
        player.play();
        QVERIFY(std::abs(SinkRecorder::toneDb(m_recorder->during(300, 100), ToneHz) - ToneDb) < 1.0);
        QVERIFY(player.currentPosition() > pausedAt + 0.1);
        player.stop();
        QVERIFY(SinkRecorder::toneDb(m_recorder->during(200, 60), ToneHz) < -50.0);
        QTRY_COMPARE(spy.count(), 4);
        QCOMPARE(spy.at(3).at(1).toInt(), int(MediaPlayer::Stopped));
    }

    void shouldLowerTheLevelByTheVolume()
    {
        MediaPlayerControl player(*m_engine);
        player.setFileName(m_long);
        const double full = SinkRecorder::toneDb(m_recorder->during(400, 100), ToneHz);
        QVERIFY(std::abs(full - ToneDb) < 1.0);
        for (int volume : {-600, -2000, -6000}) {
            player.setVolume(volume);
            const double level = SinkRecorder::toneDb(m_recorder->during(300, 100), ToneHz);
            QVERIFY2(std::abs(level - full - volume / 100.0) < 1.0,
                     qPrintable(QStringLiteral("%1 at %2").arg(level).arg(volume)));
        }
        player.setVolume(-10000);
        QVERIFY(SinkRecorder::toneDb(m_recorder->during(200, 100), ToneHz) < -90.0);
        player.stop();
    }

    // Raised or lowered to -16 LUFS as heard at the sink, unless the true peak would pass
    // -1 dBTP: a quiet tone with short loud bursts is only brought to that ceiling.
    void shouldBeHeardAtItsEvenLevel_data()
    {
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<bool>("bursts");
        QTest::addColumn<bool>("reachesTarget");
        QTest::newRow("quiet, raised") << 0.05 << false << true;
        QTest::newRow("loud, lowered") << 0.9 << false << true;
        QTest::newRow("quiet with loud bursts, held by its peak") << 0.02 << true << false;
    }

    void shouldBeHeardAtItsEvenLevel()
    {
        QFETCH(double, amplitude);
        QFETCH(bool, bursts);
        QFETCH(bool, reachesTarget);
        auto samples = tone(ToneHz, 4.0, amplitude);
        // 4 ms swells to 45 times the level every 100 ms, smooth so that no server's resampling
        // changes them: every loudness block holds the same share of them.
        constexpr std::size_t Period = 4410;
        constexpr std::size_t Swell = 176;
        for (std::size_t at = 0; bursts && at + Period <= samples.size() / 2; at += Period)
            for (std::size_t i = 0; i < Swell; ++i) {
                const double gain =
                    1.0 + 44.0 * (0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / Swell));
                for (std::size_t c = 0; c < 2; ++c) {
                    std::int16_t& s = samples[2 * (at + i) + c];
                    s = static_cast<std::int16_t>(std::lround(s * gain));
                }
            }
        const QString path = file("even.wav");
        QVERIFY(writeWav(path, samples));
        SongLevels levels(QString{});
        levels.setEnabled(true);
        levels.measureFirst({path});
        QVERIFY(levels.waitIdle(IdleWaitMs));
        const Loudness measured = *levels.find(path);
        const double gain = SongLevels::gainDb(measured);

        MediaPlayerControl player(*m_engine);
        player.setLevels(&levels);
        player.setFileName(path);
        const auto heard = m_recorder->during(1800, 200);
        player.stop();
        LoudnessMeter meter;
        meter.add(heard.data(), heard.size() / Pcm::Channels);
        const double lufs = meter.result().integratedLufs;
        const QString figures = QStringLiteral("measured %1 LUFS / %2 dBTP, gain %3 dB, heard %4 LUFS")
                                    .arg(measured.integratedLufs)
                                    .arg(measured.truePeakDb)
                                    .arg(gain)
                                    .arg(lufs);
        qInfo("%s", qPrintable(figures));
        QVERIFY2(std::abs(lufs - (measured.integratedLufs + gain)) < 0.5, qPrintable(figures));
        QCOMPARE(std::abs(lufs - SongLevels::TargetLufs) < 0.5, reachesTarget);
        QVERIFY2(measured.truePeakDb + gain <= SongLevels::CeilingDbtp + 1e-9, qPrintable(figures));
    }

    void shouldPlayEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("wav") << QStringLiteral("f.wav");
        QTest::newRow("au") << QStringLiteral("f.au");
        QTest::newRow("mp3") << QStringLiteral("f.mp3");
        QTest::newRow("avi") << QStringLiteral("f.avi");
        QTest::newRow("mid") << QStringLiteral("f.mid");
    }

    void shouldPlayEveryFormat()
    {
        QFETCH(QString, name);
        const QString path = m_dir.filePath(name);
        const auto samples = tone(ToneHz, 1.0);
        QString why;
        if (name.endsWith(QLatin1String(".wav")))
            QVERIFY(writeWav(path, samples));
        else if (name.endsWith(QLatin1String(".au")))
            QVERIFY(writeAu(path, samples));
        else if (name.endsWith(QLatin1String(".mid")))
            QVERIFY(writeBytes(path, midiTune(2, 500)));
        else if (!encode(path, name.endsWith(QLatin1String(".mp3")) ? "mp3" : "avi", samples, &why))
            QSKIP(qPrintable(why));

        MediaPlayerControl player(*m_engine);
        player.setFileName(path);
        QVERIFY(player.duration() > 0.9 && player.duration() < 2.1);
        const auto heard = m_recorder->during(500, 100);
        if (name.endsWith(QLatin1String(".mid")))
            QVERIFY2(SinkRecorder::rmsDb(heard) > -40.0,
                     qPrintable(QString::number(SinkRecorder::rmsDb(heard))));
        else
            QVERIFY2(std::abs(SinkRecorder::toneDb(heard, ToneHz) - ToneDb) < 1.5,
                     qPrintable(QStringLiteral("%1 dB over %2 frames")
                                    .arg(SinkRecorder::toneDb(heard, ToneHz))
                                    .arg(heard.size() / 2)));
        player.stop();
    }

    void shouldRefuseBrokenFilesAndPlayOn()
    {
        QVERIFY(writeBytes(file("zero.wav"), QByteArray("")));
        QVERIFY(writeBytes(file("words.mp3"), QByteArray("These are only words.\n").repeated(100)));
        MediaPlayerControl player(*m_engine);
        for (const char* name : {"absent.wav", "zero.wav", "words.mp3"}) {
            QVERIFY_THROWS_EXCEPTION(DeviceError, player.setFileName(file(name)));
            QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
        }
        player.setFileName(m_long);
        QVERIFY(std::abs(SinkRecorder::toneDb(m_recorder->during(300, 100), ToneHz) - ToneDb) < 1.0);
        player.stop();
    }
};

QTEST_MAIN(TestMediaPlayerAudio)
#include "tst_mediaplayeraudio.moc"
