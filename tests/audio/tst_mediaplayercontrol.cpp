// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/HotCache.h"
#include "audio/MediaPlayerControl.h"
#include "audio/SongLevels.h"
#include "fakes/FakeAudioOutput.h"
#include "fakes/FakeMediaPlayer.h"
#include "fakes/MediaFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace MediaFiles;

namespace {

using Reports = QList<QPair<int, int>>;

Reports reports(const QSignalSpy& spy)
{
    Reports out;
    for (const auto& args : spy)
        out.append({args.at(0).toInt(), args.at(1).toInt()});
    return out;
}

MediaPlayerControl::Options smallOptions()
{
    MediaPlayerControl::Options o;
    o.hotHeadSeconds = 0.5;
    o.coldHeadSeconds = 0.1;
    o.ringSeconds = 0.2;
    return o;
}

} // namespace

class TestMediaPlayerControl : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_song;  // 2 s tone
    QString m_other; // 2 s tone
    QString m_exact; // 3 s of distinct samples

private Q_SLOTS:
    void initTestCase()
    {
        m_song = m_dir.filePath(QStringLiteral("song.wav"));
        m_other = m_dir.filePath(QStringLiteral("other.wav"));
        m_exact = m_dir.filePath(QStringLiteral("exact.wav"));
        QVERIFY(writeWav(m_song, tone(440.0, 2.0)));
        QVERIFY(writeWav(m_other, tone(660.0, 2.0)));
        QVERIFY(writeWav(m_exact, ramp(3 * 44100)));
    }

    void shouldStartByItselfAndKnowTheLengthAtOnce()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_song);
        QCOMPARE(output.streams.size(), 1);
        QCOMPARE(player.duration(), 2.0);
        QCOMPARE(player.playState(), int(MediaPlayer::Playing));
        QCOMPARE(player.fileName(), m_song);
        QCOMPARE(spy.count(), 0); // reported later, on the event loop
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}}));

        output.last()->pull(22050);
        QCOMPARE(player.currentPosition(), 0.5);
    }

    void shouldPlayEverySampleOfTheFile_data()
    {
        QTest::addColumn<bool>("hot");
        QTest::newRow("decoded on demand") << false;
        QTest::newRow("head from the hot list") << true;
    }

    void shouldPlayEverySampleOfTheFile()
    {
        QFETCH(bool, hot);
        FakeAudioOutput output;
        MediaPlayerControl player(output, smallOptions());
        if (hot) {
            player.setHotList({m_exact});
            QVERIFY(player.waitHotListWarm(5000));
            QCOMPARE(player.hotCache().count(), std::size_t{1});
        }
        player.setFileName(m_exact);
        // The head is there at once, without waiting for the decoding thread.
        QCOMPARE(output.last()->pull(hot ? 22050 : 4410, 0).size(), std::size_t(hot ? 2 * 22050 : 2 * 4410));
        std::vector<std::int16_t> all = ramp(3 * 44100);
        std::vector<std::int16_t> played(all.begin(), all.begin() + (hot ? 2 * 22050 : 2 * 4410));
        const auto rest = output.last()->pullAll();
        played.insert(played.end(), rest.begin(), rest.end());
        QVERIFY(played == all);
    }

    void shouldStartAPointIntoWhatItPlays_data()
    {
        QTest::addColumn<double>("spanStart");
        QTest::addColumn<bool>("hot");
        QTest::newRow("the whole song") << 0.0 << false;
        QTest::newRow("a song of the hot list, from its decoder") << 0.0 << true;
        QTest::newRow("into its span") << 0.5 << false;
    }

    void shouldStartAPointIntoWhatItPlays()
    {
        QFETCH(double, spanStart);
        QFETCH(bool, hot);
        FakeAudioOutput output;
        MediaPlayerControl player(output, smallOptions());
        if (hot) {
            player.setHotList({m_exact});
            QVERIFY(player.waitHotListWarm(5000));
        }
        if (spanStart > 0.0)
            player.setPlaySpan(m_exact, PlaySpan{spanStart, 0.0, 0.0, 0.0, 1.0});
        player.setFileNameAt(m_exact, 1.0);
        QCOMPARE(player.duration(), 3.0 - spanStart); // what it plays, as from its start
        QCOMPARE(player.currentPosition(), 1.0);
        const std::vector<std::int16_t> all = ramp(3 * 44100);
        const auto from =
            all.begin() + static_cast<std::ptrdiff_t>(std::lround((spanStart + 1.0) * 44100)) * 2;
        QVERIFY(output.last()->pull(22050) == std::vector<std::int16_t>(from, from + 2 * 22050));
        QCOMPARE(player.currentPosition(), 1.5);
    }

    void shouldNudgeTheSongThatPlaysWithinItsStream()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output, smallOptions());
        player.setFileName(m_exact);
        output.last()->pull(4410);
        player.nudge(0.01);
        QCOMPARE(player.currentPosition(), 0.11);
        const std::vector<std::int16_t> all = ramp(3 * 44100);
        const auto from = all.begin() + 2 * (4410 + 441);
        QVERIFY(output.last()->pull(100) == std::vector<std::int16_t>(from, from + 2 * 100));
        QCOMPARE(output.streams.size(), 1); // the same stream: not started again
    }

    void shouldPlayTheSongThatFollowsAtTheLastSampleOfTheOneBefore_data()
    {
        QTest::addColumn<int>("takeOver"); // 0: taken over; 1: nobody takes it; 2: withdrawn before
        QTest::newRow("taken over in the stopped report") << 0;
        QTest::newRow("not taken over: it falls silent") << 1;
        QTest::newRow("withdrawn before the end") << 2;
        QTest::newRow("paused just after the stream went on into it") << 3;
    }

    void shouldPlayTheSongThatFollowsAtTheLastSampleOfTheOneBefore()
    {
        QFETCH(int, takeOver);
        FakeAudioOutput output;
        MediaPlayerControl player(output, smallOptions());
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        connect(&player, &MediaPlayer::PlayStateChange, this, [&](int, int now) {
            if (now == MediaPlayer::Stopped && (takeOver == 0 || takeOver == 3))
                player.setFileName(m_song);
        });
        player.setFileName(m_exact);
        player.setNextFile(m_song);
        if (takeOver == 2)
            player.setNextFile(QString());
        FakeOutputStream* stream = output.last();
        const std::shared_ptr<bool> streamAlive = stream->alive;
        const std::vector<std::int16_t> first = stream->pull(3 * 44100);
        QVERIFY(first == ramp(3 * 44100));
        const std::vector<std::int16_t> next = stream->pull(4410);
        if (takeOver == 2) {
            QVERIFY(next.empty());
            return;
        }
        // The next song went on in the same stream, in the same read.
        QCOMPARE(next.size(), std::size_t{2 * 4410});
        QVERIFY(std::equal(next.begin(), next.end(), tone(440.0, 0.1).begin()));
        if (takeOver == 3)
            player.pause(); // before the news of the hand-over: the start that follows plays
        QTRY_VERIFY(reports(spy).contains(QPair<int, int>(takeOver == 3 ? 1 : 2, 0)));
        QCOMPARE(output.streams.size(), 1);
        if (takeOver == 1) {
            QVERIFY(!*streamAlive || stream->stopped); // let go, or at least stopped
            QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
            return;
        }
        QVERIFY(!stream->stopped && !stream->paused);
        QCOMPARE(player.fileName(), m_song);
        QCOMPARE(player.duration(), 2.0);
        QTRY_COMPARE(reports(spy),
                     takeOver == 3 ? (Reports{{0, 2}, {1, 0}, {0, 2}}) : (Reports{{0, 2}, {2, 0}, {0, 2}}));
        stream->played = 3 * 44100 + 22050;
        QCOMPARE(player.currentPosition(), 0.5); // of the song that plays, not of the stream
    }

    void shouldLoopWithNothingAtTheJoinUntilLetGo()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output, smallOptions());
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_exact);
        player.setNextFile(m_song); // held back by the loop
        player.setLoop(true);
        FakeOutputStream* stream = output.last();
        QVERIFY(stream->pull(3 * 44100) == ramp(3 * 44100));
        QVERIFY(stream->pull(3 * 44100) == ramp(3 * 44100));
        stream->played = 3 * 44100 + 22050;
        QTRY_COMPARE(player.currentPosition(), 0.5); // of this round
        QVERIFY(stream->pull(3 * 44100) == ramp(3 * 44100));
        // Let go while the stream has just gone on into the third round: that one plays out,
        // then the song set to follow.
        player.setLoop(false);
        QCoreApplication::processEvents();
        QVERIFY(stream->pull(4410) == tone(440.0, 0.1));
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}, {2, 0}})); // a round is no new song
    }

    void shouldReportPauseResumeAndStopUnlessReportsAreOff()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_song);
        player.pause();
        QCOMPARE(player.playState(), int(MediaPlayer::Paused));
        QVERIFY(output.last()->paused);
        player.play();
        QCOMPARE(player.playState(), int(MediaPlayer::Playing));
        QVERIFY(!output.last()->paused);
        player.stop();
        QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
        QVERIFY(!output.last()); // the stream is let go of
        QCOMPARE(player.currentPosition(), 0.0);
        player.stop(); // idle: nothing more
        player.pause();
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}, {2, 1}, {1, 2}, {2, 0}}));
        QTest::qWait(20);
        QCOMPARE(spy.count(), 4);

        // Play on stopped media starts it again from the beginning.
        player.play();
        QCOMPARE(player.playState(), int(MediaPlayer::Playing));
        QTRY_COMPARE(spy.count(), 5);
        QCOMPARE(reports(spy).last(), (QPair<int, int>{0, 2}));

        // A stop while the reports are off is never reported, not even once they are on again.
        player.setSendPlayStateChangeEvents(false);
        player.stop();
        player.setSendPlayStateChangeEvents(true);
        QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
        QTest::qWait(20);
        QCOMPARE(spy.count(), 5);
    }

    void shouldReportTheNaturalEndAsStopped()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_song);
        QCOMPARE(output.last()->pullAll().size(), std::size_t{2 * 2 * 44100});
        output.last()->finishNow();
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}, {2, 0}}));
        QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
        QCOMPARE(player.duration(), 2.0);
    }

    void shouldNotReportTheOldFileWhenTheFileChanges()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_song);
        QTRY_COMPARE(spy.count(), 1);
        player.setFileName(m_other);
        QVERIFY(!output.streams.at(0)); // the first song's stream is gone
        QCOMPARE(player.duration(), 2.0);
        QTRY_COMPARE(spy.count(), 2);

        // A stop whose report is still queued when the next file is set is not reported:
        // it would make the window drop the new song.
        player.stop();
        player.setFileName(m_song);
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}, {2, 2}, {0, 2}}));
        QTest::qWait(20);
        QCOMPARE(spy.count(), 3);
    }

    void shouldMapVolumeToGain_data()
    {
        QTest::addColumn<int>("volume");
        QTest::addColumn<int>("stored");
        QTest::addColumn<double>("gain");
        QTest::newRow("full") << 0 << 0 << 1.0;
        QTest::newRow("-10 dB") << -2000 << -2000 << 0.1;
        QTest::newRow("-3 dB") << -600 << -600 << std::pow(10.0, -0.3);
        QTest::newRow("end of a fade") << -6000 << -6000 << 0.001;
        QTest::newRow("silent") << -10000 << -10000 << 0.0;
        QTest::newRow("below silent") << -12000 << -10000 << 0.0;
        QTest::newRow("above full") << 500 << 0 << 1.0;
    }

    void shouldMapVolumeToGain()
    {
        QFETCH(int, volume);
        QFETCH(int, stored);
        QFETCH(double, gain);
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        player.setFileName(m_song);
        player.setVolume(volume);
        QCOMPARE(player.volume(), stored);
        QVERIFY(std::abs(output.last()->gain - gain) < 1e-9);
        // The next song starts at the level set, not at full level first.
        player.setFileName(m_other);
        QVERIFY(std::abs(output.last()->gain - gain) < 1e-9);
    }

    void shouldKeepTheMixGainApartFromTheVolumeAndAcrossSongs()
    {
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        player.setMixGain(0.5, 0.0); // before any song: the first starts at it
        player.setFileName(m_song);
        QCOMPARE(output.last()->mixGain, 0.5);
        player.setMixGain(0.25, 0.3); // ducked
        player.setVolume(-2000);      // a fade moves the volume, not the mix
        QCOMPARE(output.last()->mixGain, 0.25);
        QCOMPARE(output.last()->mixRamp, 0.3);
        QVERIFY(std::abs(output.last()->gain - 0.1) < 1e-9);
        // The next song of the player starts where the mix stands, with no ramp from 1.
        player.setFileName(m_other);
        QCOMPARE(output.last()->mixGain, 0.25);
        QCOMPARE(player.mixGain(), 0.25);
    }

    void shouldStartALayerFromTheHotCacheOfTheShowPlayer()
    {
        FakeAudioOutput showOutput;
        FakeAudioOutput layerOutput;
        MediaPlayerControl show(showOutput, smallOptions());
        show.setHotList({m_exact});
        QVERIFY(show.waitHotListWarm(10000));
        auto layer = std::make_unique<MediaPlayerControl>(layerOutput, show);
        layer->setHotList({m_song}); // the show's list holds
        layer->setFileName(m_exact);
        QCOMPARE(layerOutput.streams.size(), 1);
        QCOMPARE(showOutput.streams.size(), 0);
        const std::vector<std::int16_t> all = layerOutput.last()->pullAll();
        QCOMPARE(all, ramp(3 * 44100));
        QCOMPARE(show.hotCache().count(), std::size_t{1}); // the layer's list was not taken
        layer.reset();                                     // the show's decoding goes on without it
        show.setFileName(m_song);
        QCOMPARE(showOutput.last()->pull(4410).size(), std::size_t{4410 * 2});
    }

    void shouldStartAMeasuredSongAtItsEvenLevelWithTheVolumeOnTop()
    {
        SongLevels levels(QString{});
        levels.setEnabled(true);
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        player.setLevels(&levels);
        player.setHotList({m_other}); // measured first
        player.setFileName(m_song);   // not measured yet: at its own level, and measured meanwhile
        QCOMPARE(output.last()->gain, 1.0);
        QVERIFY(levels.waitIdle(IdleWaitMs));
        QVERIFY(levels.find(m_other));
        const double level = std::pow(10.0, SongLevels::gainDb(*levels.find(m_song)) / 20.0);
        QVERIFY(std::abs(level - 1.0) > 0.1);

        // The level is in the song's samples (the next song in the stream has its own), the volume
        // in the stream's gain.
        const auto heardAt = [&](double expected) {
            const std::vector<std::int16_t> heard = output.last()->pull(4410);
            const std::vector<std::int16_t> file = tone(440.0, 0.1);
            for (std::size_t i = 0; i < file.size(); ++i)
                if (std::abs(heard.at(i) - std::clamp(file[i] * expected, -32768.0, 32767.0)) > 1.0)
                    return false;
            return true;
        };
        player.setVolume(-600);
        player.setFileName(m_song);
        QVERIFY(std::abs(output.last()->gain - std::pow(10.0, -0.3)) < 1e-9);
        QVERIFY(heardAt(level));
        player.setVolume(-2000); // a fade step
        QVERIFY(std::abs(output.last()->gain - 0.1) < 1e-9);
        levels.setEnabled(false);
        player.setFileName(m_song);
        QVERIFY(std::abs(output.last()->gain - 0.1) < 1e-9);
        QVERIFY(heardAt(1.0));
    }

    void shouldRefuseFilesThatCannotPlay_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("missing.wav") << QByteArray()
                                 << QStringLiteral("the file does not exist");
        QTest::newRow("zero bytes") << QStringLiteral("zero.wav") << QByteArray("")
                                    << QStringLiteral("the file is empty");
        QTest::newRow("text named .mp3")
            << QStringLiteral("text.mp3") << QByteArray("Not a song at all, only words.\n").repeated(50)
            << QString();
        QTest::newRow("broken MIDI") << QStringLiteral("broken.mid")
                                     << QByteArray("MThd\x00\x00\x00\x06\x00", 9)
                                     << QStringLiteral("not a valid MIDI file");
    }

    void shouldRefuseFilesThatCannotPlay()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(name);
        if (!content.isNull())
            QVERIFY(writeBytes(path, content));
        FakeAudioOutput output;
        MediaPlayerControl player(output);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        player.setFileName(m_song);
        QString message;
        try {
            player.setFileName(path);
        } catch (const DeviceError& e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(QStringLiteral("Unable to play ") + path + QStringLiteral(": ")),
                 qPrintable(message));
        if (!reason.isEmpty())
            QVERIFY2(message.endsWith(reason), qPrintable(message));
        // The song that played plays on untouched, and nothing but its own start is reported.
        QCOMPARE(player.playState(), int(MediaPlayer::Playing));
        QCOMPARE(player.fileName(), m_song);
        QCOMPARE(output.streams.size(), 1);
        QVERIFY(output.streams.at(0) && !output.streams.at(0)->stopped);
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}}));
        QTest::qWait(20);
        QCOMPARE(spy.count(), 1);
    }

    void shouldPassOnAMissingAudioOutput()
    {
        FakeAudioOutput output;
        output.failWith = QStringLiteral("No audio output: Connection refused");
        MediaPlayerControl player(output);
        QSignalSpy spy(&player, &MediaPlayer::PlayStateChange);
        QVERIFY_THROWS_EXCEPTION(DeviceError, player.setFileName(m_song));
        QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
        output.failWith.reset();
        player.setFileName(m_song);
        QTRY_COMPARE(reports(spy), (Reports{{0, 2}}));

        // The server goes away mid-song: the player stops and says why, and does not report a
        // stop (the window would take it for the end of the song and start the next).
        QSignalSpy lost(&player, &MediaPlayer::PlaybackLost);
        Q_EMIT output.last()->failed(QStringLiteral("Connection terminated"));
        QTRY_COMPARE(lost.count(), 1);
        QCOMPARE(lost.at(0).at(0).toString(), QStringLiteral("No audio output: Connection terminated"));
        QCOMPARE(player.playState(), int(MediaPlayer::Stopped));
        QCOMPARE(spy.count(), 1);
    }

    /// The main window's tests run on the fake player; it must answer as the real one does.
    void shouldAgreeWithTheFakePlayer_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<Reports>("expected");
        QTest::addColumn<int>("state");
        const auto L = [](const char* steps) {
            return QString::fromLatin1(steps).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        };
        QTest::newRow("a stop queued before the next file is dropped")
            << L("song wait stop other") << Reports{{0, 2}, {0, 2}} << 2;
        QTest::newRow("play on stopped media starts it again")
            << L("song wait stop wait play") << Reports{{0, 2}, {2, 0}, {0, 2}} << 2;
        QTest::newRow("a file that cannot start leaves the song playing")
            << L("song wait bad") << Reports{{0, 2}} << 2;
        QTest::newRow("pause and resume") << L("song pause play") << Reports{{0, 2}, {2, 1}, {1, 2}} << 2;
        QTest::newRow("stopping the idle player reports nothing") << L("stop play") << Reports{} << 0;
    }

    void shouldAgreeWithTheFakePlayer()
    {
        QFETCH(QStringList, steps);
        QFETCH(Reports, expected);
        QFETCH(int, state);
        const QString bad = m_dir.filePath(QStringLiteral("bad.mp3"));
        QVERIFY(writeBytes(bad, QByteArray("no sound in here\n").repeated(40)));
        FakeAudioOutput output;
        MediaPlayerControl real(output);
        FakeMediaPlayer fake;
        fake.unplayable << bad;
        for (MediaPlayer* player : {static_cast<MediaPlayer*>(&real), static_cast<MediaPlayer*>(&fake)}) {
            QSignalSpy spy(player, &MediaPlayer::PlayStateChange);
            for (const QString& step : steps) {
                if (step == QLatin1String("song"))
                    player->setFileName(m_song);
                else if (step == QLatin1String("other"))
                    player->setFileName(m_other);
                else if (step == QLatin1String("bad"))
                    QVERIFY_THROWS_EXCEPTION(DeviceError, player->setFileName(bad));
                else if (step == QLatin1String("stop"))
                    player->stop();
                else if (step == QLatin1String("play"))
                    player->play();
                else if (step == QLatin1String("pause"))
                    player->pause();
                else if (step == QLatin1String("wait"))
                    QTest::qWait(10);
            }
            QTest::qWait(20);
            QCOMPARE(reports(spy), expected);
            QCOMPARE(player->playState(), state);
        }
    }

    void shouldWarmTheHotListInOrderWithinTheBudget()
    {
        QStringList list;
        for (int i = 0; i < 4; ++i) {
            list << m_dir.filePath(QStringLiteral("hot%1.wav").arg(i));
            QVERIFY(writeWav(list.last(), tone(300.0 + 100 * i, 1.0)));
        }
        auto options = smallOptions();
        const std::size_t head = std::size_t(0.5 * 44100) * 4 + sizeof(HotHead);
        options.hotBudgetBytes = 2 * head + head / 2;
        FakeAudioOutput output;
        MediaPlayerControl player(output, options);
        player.setHotList(list);
        QVERIFY(player.waitHotListWarm(5000));
        QCOMPARE(player.hotCache().count(), std::size_t{2});
        QVERIFY(player.hotCache().bytes() <= options.hotBudgetBytes);

        // A new list puts its own songs first; the old ones make room.
        player.setHotList({list.at(3), list.at(2)});
        QVERIFY(player.waitHotListWarm(5000));
        QCOMPARE(player.hotCache().count(), std::size_t{2});
        player.setFileName(list.at(3));
        QCOMPARE(output.last()->pull(22050, 0).size(), std::size_t{2 * 22050});
    }
};

QTEST_MAIN(TestMediaPlayerControl)
#include "tst_mediaplayercontrol.moc"
