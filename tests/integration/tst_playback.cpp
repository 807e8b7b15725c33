// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with the real sound output on the test audio server: presses, the queue,
// pause and the fade are measured at the null sink's monitor.
#include "SoundBoardFixture.h"
#include "controls/Tranbtn.h"
#include "fakes/FakeDialogs.h"
#include "fakes/MediaFiles.h"
#include "fakes/SongFixtures.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "platform/Timer.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QToolButton>

using namespace MediaFiles;

namespace {
// Pitches unusual enough that other sounds on the shared server barely count.
constexpr double HzA = 1234.0;
constexpr double HzB = 1789.0;
constexpr double HzC = 2345.0;
constexpr double ToneDb = -6.02; // amplitude 0.5
constexpr double QueuedSeconds = 0.6;

/// A square wave at +-20000 with `period` frames a period (0.6 s must hold whole periods): loud on
/// every frame, so one silent frame shows, and each song of a queue has its own period.
std::vector<std::int16_t> square(double seconds, std::size_t period)
{
    const auto frames = static_cast<std::size_t>(seconds * Pcm::SampleRate);
    std::vector<std::int16_t> s(frames * Pcm::Channels);
    for (std::size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = (i % period) < period / 2 ? 20000 : -20000;
    return s;
}

/// The length of the whole half-period of a square wave before (`step` -1) or after (+1) frame
/// `at` of the left channel, passing over the part of one that `at` is in.
std::size_t halfPeriod(const std::vector<std::int16_t>& s, std::size_t at, int step)
{
    const auto frames = static_cast<std::ptrdiff_t>(s.size() / Pcm::Channels);
    auto i = static_cast<std::ptrdiff_t>(at);
    const auto sign = [&](std::ptrdiff_t f) { return s[static_cast<std::size_t>(f) * Pcm::Channels] > 0; };
    const bool first = sign(i);
    while (i >= 0 && i < frames && sign(i) == first)
        i += step;
    if (i < 0 || i >= frames)
        return 0;
    const bool second = sign(i);
    std::size_t n = 0;
    for (; i >= 0 && i < frames && sign(i) == second && std::abs(s[static_cast<std::size_t>(i) * 2]) >= 1000;
         i += step)
        ++n;
    return n;
}
} // namespace

class TestPlayback : public QObject, SoundBoardFixture {
    Q_OBJECT

    void press(int slot, bool shift = false)
    {
        TMTranBtn* b = m_form->SongButtons[static_cast<std::size_t>(slot)];
        QTest::mouseClick(b, Qt::LeftButton, shift ? Qt::ShiftModifier : Qt::NoModifier, QPoint(10, 10));
    }

    bool idle() const
    {
        return !m_form->btnPlay->isEnabled() && !m_form->btnStop->isEnabled() &&
               !m_form->btnPause->isEnabled() && !m_form->core().WaveTimer->Enabled() &&
               m_form->core().PlayQueue.isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        startSound();
        if (QTest::currentTestFailed())
            return;

        // Named in Cyrillic as an operator names it: the song file holds a stand-in, the press the file.
        QVERIFY(writeWav(path(QStringLiteral("Аплодисменты.wav")), tone(HzA, 0.8)));
        QVERIFY(writeWav(path(QStringLiteral("b.wav")), tone(HzB, 0.8)));
        QVERIFY(writeWav(path(QStringLiteral("c.wav")), tone(HzC, 0.8)));
        QVERIFY(writeWav(path(QStringLiteral("long.wav")), tone(HzA, 6.0)));
        QVERIFY(writeBytes(path(QStringLiteral("empty.wav")), QByteArray()));
        QVERIFY(writeBytes(path(QStringLiteral("text.mp3")), QByteArray("this is not a song\n")));
        // An mp3 cut off half-way, as a copy that broke off: its header promises 3 s.
        QString why;
        QVERIFY2(encode(path(QStringLiteral("cut.mp3")), "mp3", tone(HzA, 3.0), &why), qPrintable(why));
        QVERIFY(QFile::resize(path(QStringLiteral("cut.mp3")),
                              QFileInfo(path(QStringLiteral("cut.mp3"))).size() / 2 + 77));

        QVERIFY(writeWav(path(QStringLiteral("q1.wav")), square(QueuedSeconds, 98)));
        QVERIFY(writeWav(path(QStringLiteral("q2.wav")), square(QueuedSeconds, 90)));
        QVERIFY(writeWav(path(QStringLiteral("q3.wav")), square(QueuedSeconds, 84)));

        auto store = openStore();
        const QStringList files = {
            QStringLiteral("Аплодисменты.wav"), QStringLiteral("b.wav"),     QStringLiteral("c.wav"),
            QStringLiteral("long.wav"),         QStringLiteral("empty.wav"), QStringLiteral("text.mp3"),
            QStringLiteral("missing.wav"),      QStringLiteral("cut.mp3"),   QStringLiteral("q1.wav"),
            QStringLiteral("q2.wav"),           QStringLiteral("q3.wav")};
        for (int slot = 0; slot < files.size(); ++slot)
            store->SetSong(0, slot, makeSong(files[slot], 0, slot), {{}, {}, files[slot], path(files[slot])});
        openBoard(std::move(store));
        if (QTest::currentTestFailed())
            return;
    }

    void cleanupTestCase() { stopSound(); }

    void init() { QTRY_VERIFY(idle()); }

    void aPressIsHeardAndTheBoardGoesIdleAfterIt()
    {
        press(0);
        const auto heard = m_recorder->during(400, 100);
        QVERIFY2(std::abs(SinkRecorder::toneDb(heard, HzA) - ToneDb) < 1.5,
                 qPrintable(QString::number(SinkRecorder::toneDb(heard, HzA))));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        QCOMPARE(m_form->core().PlayState, TPlayState::psStopped);
    }

    void aQueueOfThreePlaysInOrder()
    {
        press(0, true);
        press(1, true);
        press(2, true);
        m_form->btnPlay->click();
        // 0.8 s each: listen in the middle of each song.
        const auto heard = [](const std::vector<std::int16_t>& s, double hz) {
            const double level = SinkRecorder::toneDb(s, hz);
            return std::pair{std::abs(level - ToneDb) < 1.5,
                             QStringLiteral("%1 Hz at %2 dB").arg(hz).arg(level)};
        };
        const auto first = m_recorder->during(500, 200);
        QVERIFY2(heard(first, HzA).first, qPrintable(heard(first, HzA).second));
        QVERIFY(SinkRecorder::toneDb(first, HzB) < -40);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->fileName().endsWith(QLatin1String("b.wav")), 2000);
        const auto second = m_recorder->during(400, 150);
        QVERIFY2(heard(second, HzB).first, qPrintable(heard(second, HzB).second));
        QTRY_VERIFY_WITH_TIMEOUT(m_player->fileName().endsWith(QLatin1String("c.wav")), 2000);
        const auto third = m_recorder->during(400, 150);
        QVERIFY2(heard(third, HzC).first, qPrintable(heard(third, HzC).second));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
    }

    void aQueuePlaysAsOneWithNoSilenceBetweenItsSongs()
    {
        const std::size_t from = m_recorder->frames();
        press(8, true);
        press(9, true);
        press(10, true);
        m_form->btnPlay->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_player->fileName().endsWith(QLatin1String("q3.wav")), 4000);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        QTest::qWait(200);
        const auto heard = m_recorder->since(from);
        const std::size_t frames = heard.size() / Pcm::Channels;
        const auto loud = [&](std::size_t i) { return std::abs(heard[i * Pcm::Channels]) >= 1000; };
        std::size_t first = 0, last = frames;
        while (first < frames && !loud(first))
            ++first;
        while (last > first && !loud(last - 1))
            --last;
        QVERIFY2(last - first > Pcm::SampleRate, "the queue was not heard");
        // A silence of 1 ms or more between two songs (the wave's period changes across it) fails;
        // one inside a song is a dropout of a busy machine, said but not counted.
        QStringList dropouts;
        for (std::size_t i = first, run = 0; i < last; ++i) {
            if (!loud(i)) {
                ++run;
                continue;
            }
            if (run >= Pcm::SampleRate / 1000) {
                const std::size_t before = halfPeriod(heard, i - run - 1, -1);
                const std::size_t after = halfPeriod(heard, i, 1);
                const QString at = QStringLiteral("%1 ms of silence %2 s in (half-periods %3 | %4)")
                                       .arg(static_cast<double>(run) * 1000.0 / Pcm::SampleRate)
                                       .arg(static_cast<double>(i - run - first) / Pcm::SampleRate)
                                       .arg(before)
                                       .arg(after);
                QVERIFY2(before == after, qPrintable(at));
                dropouts << at;
            }
            run = 0;
        }
        if (!dropouts.isEmpty())
            qInfo("dropouts inside songs: %s", qPrintable(dropouts.join(QStringLiteral("; "))));
        const double seconds = static_cast<double>(last - first) / Pcm::SampleRate;
        QVERIFY2(!dropouts.isEmpty() || std::abs(seconds - 3 * QueuedSeconds) < 0.005,
                 qPrintable(QStringLiteral("%1 s heard").arg(seconds)));
    }

    void aSongThatBreaksOffEarlyIsFollowedAtOnce()
    {
        press(7, true); // the cut mp3
        press(1, true);
        const std::size_t from = m_recorder->frames();
        m_form->btnPlay->click();
        // Listen until the next song has been heard for a while.
        std::vector<std::int16_t> heard;
        QTRY_VERIFY_WITH_TIMEOUT(
            SinkRecorder::countOn(SinkRecorder::toneTimeline(heard = m_recorder->since(from), HzB)) >= 20,
            6000);
        const int gap = SinkRecorder::gapPieces(SinkRecorder::toneTimeline(heard, HzA),
                                                SinkRecorder::toneTimeline(heard, HzB));
        QVERIFY2(gap >= 0 && gap <= 5,
                 qPrintable(QStringLiteral("%1 ms of silence after the cut song").arg(gap * 10)));
    }

    void pauseFallsSilentAndPlayResumes()
    {
        press(3);
        QTest::qWait(300);
        m_form->btnPause->click();
        QTRY_COMPARE(m_form->core().PlayState, TPlayState::psPaused);
        QVERIFY(SinkRecorder::toneDb(m_recorder->during(300, 100), HzA) < -50);
        QVERIFY(m_form->btnPlay->isEnabled());
        m_form->btnPlay->click();
        QTRY_COMPARE(m_form->core().PlayState, TPlayState::psPlaying);
        QVERIFY(std::abs(SinkRecorder::toneDb(m_recorder->during(300, 100), HzA) - ToneDb) < 1.5);
        m_form->mnuStopAllClick();
        QTRY_VERIFY(idle());
    }

    void aFadeLowersTheLevelStepByStepAndEndsInAStop()
    {
        m_form->core().FadeSetting = 1; // 5 dB a tick
        press(3, true);
        press(0, true);
        m_form->btnPlay->click();
        QTest::qWait(200);
        const double full = SinkRecorder::toneDb(m_recorder->during(200, 50), HzA);
        QVERIFY(std::abs(full - ToneDb) < 1.5);
        // Drive the ticks by hand so that each level can be measured.
        for (int tick = 1; tick <= 3; ++tick) {
            m_form->FadeTimerTimer();
            const double level = SinkRecorder::toneDb(m_recorder->during(200, 60), HzA);
            QVERIFY2(std::abs(level - (full - 5.0 * tick)) < 1.5,
                     qPrintable(QStringLiteral("tick %1: %2 dB").arg(tick).arg(level)));
        }
        for (int tick = 4; tick <= 12; ++tick)
            m_form->FadeTimerTimer();
        // The long song stopped; the next one starts at full level.
        QTRY_VERIFY_WITH_TIMEOUT(m_player->fileName().endsWith(QStringLiteral("Аплодисменты.wav")), 2000);
        QCOMPARE(m_player->volume(), 0);
        const double next = SinkRecorder::toneDb(m_recorder->during(300, 100), HzA);
        QVERIFY2(std::abs(next - ToneDb) < 1.5, qPrintable(QStringLiteral("next song: %1 dB").arg(next)));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        m_form->core().FadeSetting = 3;
    }

    void brokenAndMissingFilesGiveClearErrorsAndTheSongPlaysOn()
    {
        m_errors->messages.clear();
        press(3); // six seconds of tone
        QTest::qWait(200);
        press(4); // zero bytes
        press(5); // text renamed .mp3
        QCOMPARE(m_errors->messages.size(), 2);
        for (const QString& message : m_errors->messages)
            QVERIFY2(message.startsWith(QStringLiteral("Unable to play ")), qPrintable(message));
        press(6);
        QCOMPARE(m_dialogs.messages.last().text,
                 QStringLiteral("Unable to find ") + path(QStringLiteral("missing.wav")));
        // The song that played was never touched, and the board still shows it.
        QVERIFY(std::abs(SinkRecorder::toneDb(m_recorder->during(300, 100), HzA) - ToneDb) < 1.5);
        QCOMPARE(m_form->core().PlayQueue, QStringList{path(QStringLiteral("long.wav"))});
        QCOMPARE(m_form->core().PlayState, TPlayState::psPlaying);
        m_form->mnuStopAllClick();
    }
};

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
