// SPDX-License-Identifier: GPL-3.0-or-later
// A button's own way of playing, heard at the null sink: a span of the song, its fade, its loop
// and its volume.
#include "SinkRecorder.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "fakes/MediaFiles.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace MediaFiles;

namespace {
constexpr double ToneHz = 1234.0;
constexpr double OtherHz = 700.0;
constexpr double ToneDb = -6.02; // amplitude 0.5
constexpr std::size_t Piece = Pcm::SampleRate / 100;
} // namespace

class TestButtonSound : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<PulseAudioEngine> m_engine;
    std::unique_ptr<SinkRecorder> m_recorder;

    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    /// What was heard from the first loud sample on, after the player fell silent.
    std::vector<std::int16_t> heardFrom(std::size_t from, MediaPlayerControl& player)
    {
        QDeadlineTimer deadline(8000);
        while (player.playState() != MediaPlayer::Stopped && !deadline.hasExpired())
            QTest::qWait(20);
        QTest::qWait(200);
        std::vector<std::int16_t> heard = m_recorder->since(from);
        std::size_t first = 0;
        while (first * Pcm::Channels < heard.size() && std::abs(heard[first * Pcm::Channels]) < 1000)
            ++first;
        heard.erase(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(first * Pcm::Channels));
        return heard;
    }

    /// The tone's level over `seconds` from `at` seconds into `s`.
    static double levelAt(const std::vector<std::int16_t>& s, double at, double seconds)
    {
        const auto begin = static_cast<std::size_t>(at * Pcm::SampleRate) * Pcm::Channels;
        const auto end =
            std::min(s.size(), begin + static_cast<std::size_t>(seconds * Pcm::SampleRate) * Pcm::Channels);
        if (begin >= end)
            return -200.0;
        const std::vector<std::int16_t> part(s.begin() + static_cast<std::ptrdiff_t>(begin),
                                             s.begin() + static_cast<std::ptrdiff_t>(end));
        return SinkRecorder::toneDb(part, ToneHz);
    }

    /// Where a take is loud (from its first loud frame to its last), and its longest quiet run
    /// between them.
    struct LoudSpan {
        std::size_t first = 0, last = 0, longestQuiet = 0;
    };
    static LoudSpan loudSpan(const std::vector<std::int16_t>& heard)
    {
        LoudSpan span{0, heard.size() / Pcm::Channels, 0};
        const auto loud = [&](std::size_t i) { return std::abs(heard[i * Pcm::Channels]) >= 1000; };
        while (span.first < span.last && !loud(span.first))
            ++span.first;
        while (span.last > span.first && !loud(span.last - 1))
            --span.last;
        for (std::size_t i = span.first, run = 0; i < span.last; ++i) {
            run = loud(i) ? 0 : run + 1;
            span.longestQuiet = std::max(span.longestQuiet, run);
        }
        return span;
    }

private Q_SLOTS:
    /// The test before may still be heard for a moment (what the output held when it stopped):
    /// each test starts on a quiet sink.
    void init() { QTest::qWait(300); }

    void initTestCase()
    {
        m_engine = std::make_unique<PulseAudioEngine>(QStringLiteral("sonavex-test"));
        QVERIFY2(m_engine->waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        const QString notReady = SinkRecorder::sinkNotReady();
        QVERIFY2(notReady.isEmpty(), qPrintable(notReady));
        m_recorder = std::make_unique<SinkRecorder>(*m_engine);
    }

    void cleanupTestCase()
    {
        m_recorder.reset();
        m_engine.reset();
    }

    void aSpanStartsAtItsStartAndStopsAtItsStop()
    {
        // 1 s of another tone, 2 s of the tone, 1 s of the other again: only the middle plays.
        std::vector<std::int16_t> samples = tone(OtherHz, 1.0);
        const auto middle = tone(ToneHz, 2.0);
        const auto last = tone(OtherHz, 1.0);
        samples.insert(samples.end(), middle.begin(), middle.end());
        samples.insert(samples.end(), last.begin(), last.end());
        QVERIFY(writeWav(file("three.wav"), samples));
        MediaPlayerControl player(*m_engine);
        player.setPlaySpan(file("three.wav"), PlaySpan{1.0, 3.0, 0.0, 0.0, 1.0});
        const std::size_t from = m_recorder->frames();
        player.setFileName(file("three.wav"));
        QCOMPARE(player.duration(), 2.0);
        const auto heard = heardFrom(from, player);
        const int tonePieces = SinkRecorder::countOn(SinkRecorder::toneTimeline(heard, ToneHz));
        const int otherPieces = SinkRecorder::countOn(SinkRecorder::toneTimeline(heard, OtherHz));
        QVERIFY2(std::abs(tonePieces - 200) <= 3, qPrintable(QString::number(tonePieces)));
        QVERIFY2(otherPieces <= 1, qPrintable(QString::number(otherPieces)));
        qInfo("span: %d ms of the tone, %d ms of what lies outside it", tonePieces * 10, otherPieces * 10);
    }

    void aFadeStartsWhereItShouldAndEndsTheSong()
    {
        QVERIFY(writeWav(file("long.wav"), tone(ToneHz, 4.0)));
        MediaPlayerControl player(*m_engine);
        // From 1.5 s in, faded out from 2.0 s over 2 s: full for 0.5 s, -30 dB 1 s later, over at 2.5 s.
        player.setPlaySpan(file("long.wav"), PlaySpan{1.5, 0.0, 2.0, 2.0, 1.0});
        const std::size_t from = m_recorder->frames();
        player.setFileName(file("long.wav"));
        QCOMPARE(player.duration(), 2.5);
        const auto heard = heardFrom(from, player);
        const double full = levelAt(heard, 0.1, 0.3);
        const double halfway = levelAt(heard, 1.45, 0.1);
        const double after = levelAt(heard, 2.6, 0.3);
        const QString levels = QStringLiteral("%1 | %2 | %3 dB").arg(full).arg(halfway).arg(after);
        QVERIFY2(std::abs(full - ToneDb) < 1.0, qPrintable(levels));
        QVERIFY2(std::abs(halfway - (ToneDb - 30.0)) < 3.0, qPrintable(levels));
        QVERIFY2(after < -80.0, qPrintable(levels));
        qInfo("fade: %s", qPrintable(levels));
    }

    void aLoopJoinsItsEndToItsStartWithNoSilence()
    {
        QVERIFY(writeWav(file("loop.wav"), tone(ToneHz, 0.5)));
        MediaPlayerControl player(*m_engine);
        const std::size_t from = m_recorder->frames();
        player.setFileName(file("loop.wav"));
        player.setLoop(true);
        QTest::qWait(1800); // three joins
        QCOMPARE(player.playState(), int(MediaPlayer::Playing));
        player.stop();
        const std::vector<std::int16_t> heard = m_recorder->since(from);
        const auto [first, last, longest] = loudSpan(heard);
        QVERIFY2(last - first > Pcm::SampleRate * 3 / 2, "the loop was not heard three times");
        QVERIFY2(longest < Pcm::SampleRate / 1000,
                 qPrintable(QStringLiteral("%1 frames of silence").arg(longest)));
        qInfo("loop: %.3f s heard, longest quiet run %zu frames", double(last - first) / Pcm::SampleRate,
              longest);
    }

    void aQueuedSongWithAStartTimeFollowsWithNoSilence()
    {
        QVERIFY(writeWav(file("first.wav"), tone(ToneHz, 0.5)));
        std::vector<std::int16_t> samples = tone(OtherHz, 1.0);
        const auto rest = tone(ToneHz, 0.5);
        samples.insert(samples.end(), rest.begin(), rest.end());
        QVERIFY(writeWav(file("trimmed.wav"), samples));
        MediaPlayerControl player(*m_engine);
        // As the window does: the song that took over is given its FileName when the first stops.
        connect(&player, &MediaPlayer::PlayStateChange, &player, [&](int, int now) {
            if (now == MediaPlayer::Stopped && player.fileName() == file("first.wav"))
                player.setFileName(file("trimmed.wav"));
        });
        const std::size_t from = m_recorder->frames();
        player.setFileName(file("first.wav"));
        player.setPlaySpan(file("trimmed.wav"), PlaySpan{1.0, 0.0, 0.0, 0.0, 1.0});
        player.setNextFile(file("trimmed.wav"));
        const auto heard = heardFrom(from, player);
        QCOMPARE(player.fileName(), file("trimmed.wav"));
        const auto [first, last, longest] = loudSpan(heard);
        const double seconds = double(last - first) / Pcm::SampleRate;
        QVERIFY2(std::abs(seconds - 1.0) < 0.005, qPrintable(QString::number(seconds)));
        QVERIFY2(longest < Pcm::SampleRate / 1000, qPrintable(QString::number(longest)));
        QVERIFY(SinkRecorder::countOn(SinkRecorder::toneTimeline(heard, OtherHz)) <= 1);
        qInfo("queued with a start time: %.4f s heard, longest quiet run %zu frames", seconds, longest);
    }

    void aButtonsVolumeIsHeardAtItsLevel()
    {
        QVERIFY(writeWav(file("level.wav"), tone(ToneHz, 1.0)));
        MediaPlayerControl player(*m_engine);
        player.setPlaySpan(file("level.wav"), PlaySpan{0.0, 0.0, 0.0, 0.0, 0.5012}); // -6 dB
        player.setFileName(file("level.wav"));
        const double level = SinkRecorder::toneDb(m_recorder->during(500, 150), ToneHz);
        QVERIFY2(std::abs(level - (ToneDb - 6.0)) < 1.0, qPrintable(QString::number(level)));
        qInfo("volume -6 dB: the tone at %.2f dB (full %.2f)", level, ToneDb);
        player.stop();
    }
};

QTEST_GUILESS_MAIN(TestButtonSound)
#include "tst_buttonsound.moc"
