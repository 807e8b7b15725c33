// SPDX-License-Identifier: GPL-3.0-or-later
// The show with no window: run through the board's commands, as a remote control runs it,
// and through the commands the window's controls give, and what it tells while it runs.
#include "core/BoardSettings.h"
#include "core/ButtonPlay.h"
#include "core/PlayLog.h"
#include "core/SongTexts.h"
#include "devices/MCI.h"
#include "fakes/RecordingMciDevice.h"
#include "fakes/ShowFixture.h"
#include "fakes/SongFixtures.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/IniRegistry.h"
#include "platform/Timer.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>

Q_DECLARE_METATYPE(SlotState)
Q_DECLARE_METATYPE(TPlayState)
Q_DECLARE_METATYPE(PressedBy)

using namespace Qt::StringLiterals;

class TestShowCore : public QObject, ShowFixture {
    Q_OBJECT

    ShowCore* m_board = nullptr;
    RecordingMciDevice* m_cdDevice = nullptr; ///< the CD drive, while a test has one
    QHash<QString, QString> m_news;           ///< by topic: the news the show holds, as it told it

    /// Every news the show holds now, one after another.
    [[nodiscard]] QString newsText() const { return m_news.values().join(QLatin1Char(' ')); }

    /// The log of what plays, each line as event, sheet, slot, title, how it ended and by what;
    /// its file and played time checked on the way.
    QStringList logLines() const
    {
        const QString folder = m_env->dataDir() + QStringLiteral("/Sonavex/logs");
        QStringList out;
        const QRegularExpression played(QStringLiteral("^\\d+\\.\\d{3}$"));
        for (const QString& name :
             QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name)) {
            QFile f(folder + QLatin1Char('/') + name);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QStringList lines =
                QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
            for (const QString& line : lines.mid(1)) {
                const QStringList c = line.split(QLatin1Char(','));
                if (c.size() != 9 || !m_files.contains(c[5]) ||
                    (c[1] == QLatin1String("end")) != played.match(c[6]).hasMatch())
                    return {QStringLiteral("bad line: ") + line};
                out << QStringList{c[1], c[2], c[3], c[4], c[7], c[8]}.join(QLatin1Char(','));
            }
        }
        return out;
    }

    // --- presses, the queue, and the transport, as the window's controls give them

    /// A press of the operator on slot `k` of the first sheet; with `shift` it queues. An error
    /// goes to the reporter, as from the window's guarded connection.
    void tap(int k, bool shift = false)
    {
        guard([&] { m_core->SongPress({0, k}, shift, PressedBy::Mouse); });
        settle();
    }

    /// The states of slots 0..3 by initial: Empty Filled Playing Next Queued.
    [[nodiscard]] QString initials() const
    {
        QString told;
        for (int k = 0; k < 4; ++k)
            told += QLatin1Char("EFPNQ"[int(m_core->slotState(0, k))]);
        return told;
    }

    /// The sound server gone (`answers` false), or back, as the player and the outputs tell it.
    void serverAnswers(bool answers)
    {
        m_player->noOutput = answers ? QString() : QStringLiteral("Connection refused");
        m_outputs.serverLost(answers ? QString() : QStringLiteral("No audio output: Connection refused"));
    }

    /// Makes slot 2's song fail to start in the way `how` names.
    void breakSong(const QString& how)
    {
        if (how == QLatin1String("missing")) {
            QFile::remove(m_files[2]);
        } else if (how == QLatin1String("folder")) {
            QFile::remove(m_files[2]);
            QDir().mkdir(m_files[2]);
        } else if (how == QLatin1String("undecodable")) {
            m_player->unplayable << m_files[2];
        } else if (how == QLatin1String("cd without a player")) {
            m_cd->tracks = 5;
            putSong(m_core->songInfo(), 0, 2, QStringLiteral("Track 2"),
                    QStringLiteral("cdda://Track02.cda"));
        } else {
            m_player->noOutput = QStringLiteral("Connection refused");
        }
    }

    /// One step of a row: a command, a press, or what the player, the server or the CD device
    /// does by itself; a step ending in a number acts on that slot of the first sheet.
    void run(const QString& step)
    {
        static const QRegularExpression stepWithSlot(QStringLiteral("^([a-z]+)(\\d+)$"));
        const QRegularExpressionMatch m = stepWithSlot.match(step);
        const QString what = m.hasMatch() ? m.captured(1) : step;
        const int slot = m.captured(2).toInt();
        if (what == QLatin1String("play"))
            m_core->PlayClick();
        else if (what == QLatin1String("pause"))
            m_core->PauseClick();
        else if (what == QLatin1String("stopsong"))
            m_core->StopSongClick();
        else if (what == QLatin1String("stopall"))
            m_core->StopAllClick();
        else if (what == QLatin1String("fade"))
            m_core->FadeClick();
        else if (what == QLatin1String("tick"))
            m_core->FadeTimerTimer();
        else if (what == QLatin1String("fadeout"))
            for (int k = 0; k < 100 && m_core->FadeTimer->Enabled(); ++k)
                m_core->FadeTimerTimer();
        else if (what == QLatin1String("poll"))
            QVERIFY(QMetaObject::invokeMethod(m_core->CDPlayer->PollTimer, "timeout"));
        else if (what.startsWith(QLatin1String("cd")) && m_cdDevice) // the device reports a mode
            m_cdDevice->setStatus(MCI_STATUS_MODE, what == QLatin1String("cdplay")    ? MCI_MODE_PLAY
                                                   : what == QLatin1String("cdpause") ? MCI_MODE_PAUSE
                                                                                      : MCI_MODE_STOP);
        else if (what == QLatin1String("clear"))
            m_core->clearSheet(0);
        else if (what == QLatin1String("end"))
            m_player->finish();
        else if (what == QLatin1String("server"))
            serverAnswers(slot == 1);
        else if (what == QLatin1String("monitor"))
            m_outputs.missing(QStringLiteral("Monitor"), slot == 0);
        else if (what == QLatin1String("lost"))
            m_player->loseOutput(QStringLiteral("Connection terminated"));
        else if (what == QLatin1String("press"))
            m_board->press(0, slot, PressedBy::Osc);
        else if (what == QLatin1String("shift") || what == QLatin1String("tap"))
            tap(slot, what == QLatin1String("shift"));
        else if (what == QLatin1String("queue"))
            m_board->queue(0, slot, PressedBy::Key);
        else if (what == QLatin1String("release"))
            m_board->release(0, slot, PressedBy::Key);
        else if (what == QLatin1String("up"))
            m_core->SongRelease({0, slot}, PressedBy::Mouse);
        else
            breakSong(what);
        settle();
    }

    void runAll(const QString& steps)
    {
        for (const QString& step : steps.split(QLatin1Char(' ')))
            run(step);
    }

    /// Nothing plays, nothing waits, no command but a press is taken.
    [[nodiscard]] bool idle() const
    {
        return m_core->transport() == Transport{} && !m_core->WaveTimer->Enabled();
    }

private Q_SLOTS:
    void init()
    {
        setUp();
        m_board = m_core.get();
        m_news.clear();
        connect(m_board, &ShowCore::newsSaid, this,
                [this](const QString& topic, const QString& text) { m_news.insert(topic, text); });
        connect(m_board, &ShowCore::newsCleared, this,
                [this](const QString& topic) { m_news.remove(topic); });
    }

    void cleanup()
    {
        m_board = nullptr;
        tearDown();
    }

    void queueOfThreePlaysInOrderWithItsStates()
    {
        using S = SlotState;
        tap(0, true);
        QVERIFY(m_core->transport().play);
        QVERIFY(!m_core->transport().playSong);
        tap(1, true);
        tap(2, true);
        QCOMPARE(m_core->PlayQueue, (QStringList{m_files[0], m_files[1], m_files[2]}));
        QCOMPARE(states(3), (QList<S>(3, S::Queued)));

        m_core->PlayClick();
        settle();
        QCOMPARE(m_player->fileName(), m_files[0]);
        QCOMPARE(states(5), (QList<S>{S::Playing, S::Next, S::Queued, S::Filled, S::Playing}));
        QCOMPARE(m_core->statusText(2), QStringLiteral("Now Playing ") + m_files[0]);
        QCOMPARE(m_core->statusText(1), QStringLiteral("01:01"));
        QVERIFY(!m_core->transport().play);
        QVERIFY(m_core->transport().stop && m_core->transport().pause);
        QCOMPARE(m_player->nextFile, m_files[1]); // made ready to follow at the last sample
        m_core->PauseClick();
        tap(1, true); // taken out of the queue while paused: the one after it follows
        QCOMPARE(m_player->nextFile, m_files[2]);
        tap(1, true);
        m_core->PlayClick();
        settle();

        m_player->finish();
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);
        QCOMPARE(states(3), (QList<S>{S::Filled, S::Next, S::Playing}));
        QCOMPARE(m_player->nextFile, m_files[1]);

        m_player->finish();
        settle();
        QCOMPARE(m_player->nextFile, QString());
        m_player->finish();
        settle();
        QVERIFY(m_core->PlayQueue.isEmpty());
        QVERIFY(idle());
        QCOMPARE(states(5), (QList<S>(5, S::Filled)));
        QCOMPARE(m_core->statusText(2), QStringLiteral("Now Playing ") + m_files[1]);
    }

    void aPressStartsTheSoundBeforeTellingAnything()
    {
        const QStringList hotBefore = m_player->hotList;
        QString statusAtStart;
        QStringList hotAtStart;
        QSignalSpy changed(m_board, &Board::slotChanged);
        qsizetype changedAtStart = -1;
        m_player->onStart = [&] {
            statusAtStart = m_core->statusText(2);
            hotAtStart = m_player->hotList;
            changedAtStart = changed.count();
        };
        tap(2);
        QCOMPARE(statusAtStart, QString());
        QCOMPARE(changedAtStart, 0);
        QCOMPARE(hotAtStart, hotBefore);
        // Once the press is handled it tells as it always did.
        QCOMPARE(m_core->statusText(2), QStringLiteral("Now Playing ") + m_files[2]);
        QCOMPARE(states(4), (QList<SlotState>{SlotState::Filled, SlotState::Filled, SlotState::Playing,
                                              SlotState::Filled}));
        QCOMPARE(m_player->hotList.first(), m_files[2]);
        QVERIFY(m_core->transport().stop && m_core->transport().stopAll);
    }

    void aFadeTakesItsSettingsTicksThenTheNextSongStartsFull_data()
    {
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("ticks"); // from the full level
        QTest::newRow("1, the shortest") << 1 << 12;
        QTest::newRow("2") << 2 << 15;
        QTest::newRow("3, the default") << 3 << 20;
        QTest::newRow("5, the longest") << 5 << 60;
    }

    void aFadeTakesItsSettingsTicksThenTheNextSongStartsFull()
    {
        QFETCH(int, setting);
        QFETCH(int, ticks);
        m_core->FadeSetting = setting;
        runAll(u"shift0 shift1 play"_s);
        QCOMPARE(m_player->nextFile, m_files[1]);
        m_core->FadeClick();
        QCOMPARE(m_player->nextFile, QString()); // it starts full when the faded song ends
        for (int tick = 1; tick <= ticks; ++tick) {
            QVERIFY(m_core->FadeTimer->Enabled());
            m_core->FadeTimerTimer();
        }
        settle();
        QCOMPARE(m_player->volumes.mid(0, ticks).last(), -6000);
        QCOMPARE(m_player->volumes.first(), -6000 / ticks);
        QCOMPARE(m_player->volume(), 0);
        QVERIFY(!m_core->FadeTimer->Enabled());
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
    }

    void aStopSongMeetingTheEndOfTheSongSkipsOnlyOne()
    {
        runAll(u"shift0 shift1 shift2 play"_s);
        // A ends by itself while a Ctrl+S waits to be handled: the notification handler lets it
        // run first (as a due timer here, like a key press from the window system).
        QTimer::singleShot(1, m_core.get(), [this] { m_core->StopSongClick(); });
        QTest::qSleep(5);
        m_player->finish();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_core->PlayQueue, (QStringList{m_files[1], m_files[2]}));
        QCOMPARE(states(3), (QList<SlotState>{SlotState::Filled, SlotState::Playing, SlotState::Next}));
    }

    void aFailedPressLeavesWhatPlaysAndIsABoxOnlyForTheOperatorsOwnHands_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<PressedBy>("by");
        QTest::addColumn<bool>("whilePlaying");
        for (const char* how : {"missing", "undecodable", "cd without a player", "no sound server"}) {
            QTest::addRow("%s, idle", how) << QString::fromLatin1(how) << PressedBy::Mouse << false;
            QTest::addRow("%s, while a song plays", how)
                << QString::fromLatin1(how) << PressedBy::Mouse << true;
        }
        QTest::newRow("OSC, missing") << u"missing"_s << PressedBy::Osc << true;
        QTest::newRow("web, undecodable") << u"undecodable"_s << PressedBy::Web << true;
        QTest::newRow("MIDI pad, missing") << u"missing"_s << PressedBy::Midi << true;
        QTest::newRow("slot key, missing") << u"missing"_s << PressedBy::Key << true;
    }

    void aFailedPressLeavesWhatPlaysAndIsABoxOnlyForTheOperatorsOwnHands()
    {
        QFETCH(QString, how);
        QFETCH(PressedBy, by);
        QFETCH(bool, whilePlaying);
        if (whilePlaying)
            runAll(u"shift0 shift1 play"_s);
        const QString panel2 = m_core->statusText(2);
        // The board behind the box names what plays while the operator reads it.
        QString toldAtTheBox = panel2;
        QSignalSpy boxed(m_core.get(), &ShowCore::missingSongPressed);
        connect(m_core.get(), &ShowCore::missingSongPressed, this,
                [&] { toldAtTheBox = m_core->statusText(2); });
        QSignalSpy failed(m_board, &Board::pressFailed);
        breakSong(how);
        const qsizetype logged = m_player->log.size();
        // A remote nobody answers presses again and again: no box stacks up at the board.
        const bool atBoard = by == PressedBy::Mouse || by == PressedBy::Key;
        for (int k = 0; k < (atBoard ? 1 : 22); ++k)
            guard([&] { m_core->SongPress({0, 2}, false, by); });
        settle();
        QCOMPARE(toldAtTheBox, panel2);
        QCOMPARE(m_core->statusText(2), panel2);
        const int errors = int(boxed.count() + m_errors->messages.size());
        if (how == QLatin1String("no sound server")) {
            // The state of the machine, not of the song: news, no box, and the pressed song
            // waits for Play.
            QCOMPARE(errors, 0);
            QCOMPARE(newsText(), QStringLiteral("No audio output: Connection refused"));
            if (!whilePlaying) {
                QCOMPARE(m_core->PlayQueue, QStringList{m_files[2]});
                QVERIFY(m_core->transport().play);
                QCOMPARE(initials(), QStringLiteral("FFQF"));
                return;
            }
        } else {
            QCOMPARE(errors, atBoard ? 1 : 0);
            QCOMPARE(failed.count(), atBoard ? 1 : 22);
            QCOMPARE(failed.at(0).at(1).toInt(), 2);
            QVERIFY(!failed.at(0).at(2).toString().isEmpty());
            QCOMPARE(failed.at(0).at(3).value<PressedBy>(), by);
            QCOMPARE(newsText().contains(QStringLiteral("did not play")), !atBoard);
        }
        if (how == QLatin1String("cd without a player")) {
            QVERIFY(m_errors->messages[0].startsWith(QStringLiteral("Unable to play cdda://Track02.cda: ")));
            QVERIFY(m_player->log.mid(logged).filter(QStringLiteral("FileName")).isEmpty());
        }
        if (whilePlaying) {
            // The song that played goes on untouched, and the board still shows it.
            QCOMPARE(m_player->fileName(), m_files[0]);
            QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
            QCOMPARE(m_core->PlayQueue, (QStringList{m_files[0], m_files[1]}));
            QCOMPARE(initials(), QStringLiteral("PNFF"));
            QVERIFY(m_core->transport().pause && m_core->WaveTimer->Enabled());
        } else {
            QVERIFY(m_core->PlayQueue.isEmpty());
            QVERIFY(idle());
            QCOMPARE(initials(), QStringLiteral("FFFF"));
        }
        if (by != PressedBy::Mouse) {
            // Once the slot plays, its news goes.
            m_player->unplayable.clear();
            makeFile(u"c.wav"_s);
            m_board->press(0, 2, by);
            settle();
            QCOMPARE(m_player->fileName(), m_files[2]);
            QVERIFY(newsText().isEmpty());
        } else if (whilePlaying) {
            m_core->PauseClick();
            settle();
            QCOMPARE(m_player->playState(), int(MediaPlayer::Paused));
        }
    }

    void songsFoundBelowTheSongFilesFolderPlayFromThere_data()
    {
        QTest::addColumn<QStringList>("files"); // below the song file's folder
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("status"); // after "Now Playing " and the path that plays
        QTest::newRow("by its tail") << QStringList{QStringLiteral("sfx/bell.wav")}
                                     << QStringLiteral("C:\\SHOW\\SFX\\BELL.WAV") << QString();
        QTest::newRow("two by name") << QStringList{QStringLiteral("two/bell.wav"),
                                                    QStringLiteral("one/bell.wav")}
                                     << QStringLiteral("/gone/bell.wav")
                                     << QStringLiteral(" (the first by name of 2 found)");
    }

    void songsFoundBelowTheSongFilesFolderPlayFromThere()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, stored);
        QFETCH(QString, status);
        const QString folder = QFileInfo(m_core->songInfo().infoPath()).absolutePath();
        for (const QString& file : files) {
            QDir().mkpath(QFileInfo(folder + QLatin1Char('/') + file).absolutePath());
            QFile f(folder + QLatin1Char('/') + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString plays = folder + QLatin1Char('/') + files.last();
        putSong(m_core->songInfo(), 0, 6, QStringLiteral("Bell"), stored);
        m_core->refresh();
        QVERIFY(m_player->hotList.contains(plays));
        tap(6);
        QVERIFY(m_errors->messages.isEmpty());
        QCOMPARE(m_player->fileName(), plays);
        QCOMPARE(m_core->statusText(2), QStringLiteral("Now Playing ") + plays + status);
        QCOMPARE(m_core->slotState(0, 6), SlotState::Playing);
        QCOMPARE(m_core->songInfo().fileName(0, 6), stored);
    }

    void cdSongsFollowEveryTransportCommand_data()
    {
        // Tracks 5 and 7 are queued and track 5 plays; then the steps, then what the device must
        // have been told (its play, stop and pause requests) and what the board must show.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<quint32>>("transport");
        QTest::addColumn<int>("played"); // the play request's track, 0 to resume, -1 none
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("queued");
        QTest::addColumn<bool>("playTaken");
        QTest::addColumn<int>("playing"); // the slot told as playing, -1 none
        const int playing = int(TPlayState::psPlaying);
        const int stopped = int(TPlayState::psStopped);
        using L = QList<quint32>;
        // Paused, the slot reads as queued, but the buttons are not redrawn.
        QTest::newRow("pause") << u"cdpause pause"_s << L{MCI_PAUSE} << -1 << int(TPlayState::psPaused) << 2
                               << true << -1;
        QTest::newRow("resume") << u"cdpause pause cdplay play poll"_s << L{MCI_PAUSE, MCI_PLAY} << 0
                                << playing << 2 << false << 20;
        QTest::newRow("stop song plays the next")
            << u"stopsong"_s << L{MCI_STOP, MCI_PLAY} << 7 << playing << 1 << false << 21;
        QTest::newRow("stop all ends")
            << u"cdstop stopall"_s << L{MCI_STOP} << -1 << stopped << 0 << false << -1;
        QTest::newRow("the poll moves the queue on")
            << u"cdstop poll cdplay poll"_s << L{MCI_PLAY} << 7 << playing << 1 << false << 21;
        QTest::newRow("both tracks end one after the other")
            << u"cdstop poll cdplay poll cdstop poll"_s << L{MCI_PLAY} << 7 << stopped << 0 << false << -1;
        QTest::newRow("a fade leaves the track alone")
            << u"fade fadeout poll"_s << L{} << -1 << playing << 2 << false << 20;
        QTest::newRow("a media song stops the CD first")
            << u"tap3"_s << L{MCI_STOP} << -1 << playing << 1 << false << -1;
    }

    void cdSongsFollowEveryTransportCommand()
    {
        QFETCH(QString, steps);
        QFETCH(QList<quint32>, transport);
        QFETCH(int, played);
        QFETCH(int, state);
        QFETCH(int, queued);
        QFETCH(bool, playTaken);
        QFETCH(int, playing);

        closeShow();
        RecordingMciDevice cd(QStringLiteral("cdaudio"), Mci::Sharing::OneMedium);
        m_cdDevice = &cd;
        const auto closed = qScopeGuard([this] { // while the device is there
            closeShow();
            m_cdDevice = nullptr;
        });
        cd.setStatus(MCI_STATUS_NUMBER_OF_TRACKS, 12);
        cd.setStatus(MCI_STATUS_MODE, MCI_MODE_STOP);
        m_cd->tracks = 12;
        LastReportedState = TCDState::cdDoorOpen; // as at the start of a run
        openShow(defaultStore());
        QVERIFY(m_core->CDPlayer);
        // By this program's name and by the older system's.
        putSong(m_core->songInfo(), 0, 20, QStringLiteral("Track 5"), QStringLiteral("e:\\TRACK05.cda"));
        putSong(m_core->songInfo(), 0, 21, QStringLiteral("Track 7"), QStringLiteral("cdda://Track07.cda"));
        runAll(u"shift20 shift21 cdplay play poll"_s); // the device reports itself playing
        QCOMPARE(m_core->PlayState, TPlayState::psPlaying);
        QCOMPARE(cd.requestsOf(MCI_PLAY).size(), 1);
        QCOMPARE(cd.requestsOf(MCI_PLAY)[0].flags, quint32(MCI_FROM | MCI_TO));
        QCOMPARE(cd.requestsOf(MCI_PLAY)[0].field("dwFrom"), quint32(5));
        QVERIFY(m_player->log.filter(QStringLiteral("FileName")).isEmpty());
        QCOMPARE(m_core->slotState(0, 20), SlotState::Playing);
        QCOMPARE(m_core->slotState(0, 21), SlotState::Next);
        cd.clearLog();
        QSignalSpy redrawn(m_core.get(), &Board::slotChanged);
        runAll(steps);

        QList<quint32> told;
        for (const quint32 c : cd.commands())
            if (c == MCI_PLAY || c == MCI_STOP || c == MCI_PAUSE)
                told << c;
        QCOMPARE(told, transport);
        QCOMPARE(int(m_core->PlayState), state);
        QCOMPARE(m_core->PlayQueue.size(), queued);
        const auto plays = cd.requestsOf(MCI_PLAY);
        QVERIFY(plays.size() <= 1);
        const int sent = plays.isEmpty()               ? -1
                         : (plays[0].flags & MCI_FROM) ? int(plays[0].field("dwFrom"))
                                                       : 0;
        QCOMPARE(sent, played);
        QCOMPARE(m_core->transport().play, playTaken);
        QCOMPARE(m_core->WaveTimer->Enabled(), queued > 0);
        QVERIFY(!m_core->FadeTimer->Enabled());
        for (const int slot : {20, 21})
            QCOMPARE(m_core->slotState(0, slot) == SlotState::Playing, slot == playing);
        if (state == int(TPlayState::psPaused))
            QCOMPARE(redrawn.count(), 0);
        if (steps == QLatin1String("tap3"))
            QCOMPARE(m_player->fileName(), m_files[3]);
        QVERIFY(m_errors->messages.isEmpty());
    }

    void timeTextsRoundHalvesToEvenSeconds_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("3725.5") << 3725.5 << QStringLiteral("62:06");
        QTest::newRow("3726.5") << 3726.5 << QStringLiteral("62:06");
        QTest::newRow("75.4") << 75.4 << QStringLiteral("01:15");
        QTest::newRow("0.5") << 0.5 << QStringLiteral("00:00");
        QTest::newRow("1.5") << 1.5 << QStringLiteral("00:02");
        QTest::newRow("100 minutes") << 6000.0 << QStringLiteral("100:00");
    }

    void timeTextsRoundHalvesToEvenSeconds()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatSeconds(seconds), text);
    }

    void cdTrackTestAndNumber()
    {
        QVERIFY(IsCdTrack(QStringLiteral("D:\\Track05.cda")));
        QVERIFY(IsCdTrack(QStringLiteral("cdda://Track02.CDA")));
        QVERIFY(IsCdTrack(QStringLiteral("/media/x/Track1.Cda")));
        QVERIFY(!IsCdTrack(QStringLiteral("/music/cda")));
        QVERIFY(!IsCdTrack(QStringLiteral("/music.cda/song")));
        QVERIFY(!IsCdTrack(QStringLiteral("C:\\cd.cda\\x")));
        QVERIFY(!IsCdTrack(QStringLiteral("/music/song.cdaudio")));
        QCOMPARE(CdTrackNumber(QStringLiteral("D:\\Track05.cda")), 5);
        QCOMPARE(CdTrackNumber(QStringLiteral("cdda://Track12.cda")), 12);
        try {
            (void)CdTrackNumber(QStringLiteral("/my.music/Track05.cda"));
            QFAIL("no error");
        } catch (const ConvertError& e) {
            QCOMPARE(e.message(), QStringLiteral("'my' is not a valid integer value"));
        }
    }

    void aShowRunsThroughTheCommandsAsThroughTheButtons()
    {
        using S = SlotState;
        // Refused as the buttons would be, and said: nothing is queued, nothing plays. Places off
        // the board, or an empty slot, do nothing.
        QSignalSpy refused(m_board, &ShowCore::commandRefused);
        m_board->play();
        m_board->stopSong();
        m_board->pause();
        m_board->stopAll();
        m_board->press(10, 0, PressedBy::Osc);
        m_board->queue(0, 36, PressedBy::Key);
        m_board->press(0, 20, PressedBy::Osc);
        m_board->fade(6);
        m_board->showSheet(-1);
        settle();
        QCOMPARE(refused.count(), 4); // Play, Stop Song, Pause, Stop All
        QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("play"));
        QVERIFY(m_player->log.isEmpty());
        QVERIFY(m_core->PlayQueue.isEmpty() && !m_core->FadeTimer->Enabled());
        QCOMPARE(m_board->shownSheet(), 0);
        QSignalSpy changed(m_board, &Board::slotChanged);
        m_board->queue(0, 2, PressedBy::Key);
        m_board->queue(0, 1, PressedBy::Key);
        m_board->queue(0, 3, PressedBy::Key);
        settle();
        QCOMPARE(states(5), (QList<S>{S::Filled, S::Queued, S::Queued, S::Queued, S::Filled}));
        QCOMPARE(changed.count(), 3); // one for each slot that changed, told after the commands
        m_board->play();
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);
        QCOMPARE(states(4), (QList<S>{S::Filled, S::Next, S::Playing, S::Queued}));
        QCOMPARE(m_board->nowPlaying(), (NowPlaying{0, 2, QStringLiteral("C"), m_files[2]}));

        m_board->stopSong();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        m_board->pause();
        settle();
        QCOMPARE(m_board->playState(), TPlayState::psPaused);
        m_board->play();
        settle();
        QCOMPARE(m_board->playState(), TPlayState::psPlaying);
        m_board->fade(5);
        QCOMPARE(m_core->FadeSetting, 5);
        QVERIFY(m_core->FadeTimer->Enabled());
        m_board->stopAll();
        settle();
        QCOMPARE(m_board->playState(), TPlayState::psStopped);
        QCOMPARE(states(4), (QList<S>(4, S::Filled)));
        QCOMPARE(m_board->nowPlaying(), NowPlaying{});
    }

    void aPressPlaysItsSlotOnAnySheetAndLeavesTheShownOne()
    {
        putSong(m_core->songInfo(), 6, 35, QStringLiteral("Finale"), m_files[3]);
        QSignalSpy shown(m_board, &Board::sheetShown);
        m_board->press(6, 35, PressedBy::Osc);
        settle();
        QCOMPARE(m_player->fileName(), m_files[3]);
        QCOMPARE(m_board->slotState(6, 35), SlotState::Playing);
        QCOMPARE(m_board->shownSheet(), 0);
        QCOMPARE(m_board->nowPlaying().title, QStringLiteral("Finale"));
        m_board->showSheet(6);
        settle();
        QCOMPARE(m_board->shownSheet(), 6);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 6);
    }

    void theTimeLeftIsToldFourTimesASecondWhilePlaying()
    {
        m_player->durations.insert(m_files[0], 61.0);
        QSignalSpy time(m_board, &Board::timeChanged);
        m_board->press(0, 0, PressedBy::Osc);
        m_player->setPosition(20.5);
        QTest::qWait(1100);
        QVERIFY2(time.count() >= 4, qPrintable(QString::number(time.count())));
        const QList<QVariant> last = time.last();
        QCOMPARE(last.at(0).toDouble(), 20.5);
        QCOMPARE(last.at(1).toDouble(), 61.0);
        QCOMPARE(last.at(2).toDouble(), 40.5);
        // Stopped: told once, and then no more.
        m_board->stopAll();
        settle();
        QCOMPARE(time.last().at(2).toDouble(), 0.0);
        const auto told = time.count();
        QTest::qWait(600);
        QCOMPARE(time.count(), told);
    }

    void theTimeLeftCountsDownAndIsBlankOnceNothingPlays_data()
    {
        QTest::addColumn<double>("position"); // of A, 61 s long
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("final");  // the last ten seconds
        QTest::addColumn<QString>("how"); // it ends, if it does
        QTest::newRow("start") << 0.0 << u"-01:01"_s << false << QString();
        QTest::newRow("11 s left") << 50.0 << u"-00:11"_s << false << QString();
        QTest::newRow("10 s left") << 51.0 << u"-00:10"_s << true << QString();
        QTest::newRow("the end") << 61.0 << u"-00:00"_s << true << QString();
        QTest::newRow("past the end") << 62.0 << u"-00:00"_s << true << QString();
        for (const char* how : {"end", "stop", "stopall", "fade"})
            QTest::addRow("then %s", how) << 57.0 << u"-00:04"_s << true << QString::fromLatin1(how);
    }

    void theTimeLeftCountsDownAndIsBlankOnceNothingPlays()
    {
        QFETCH(double, position);
        QFETCH(QString, text);
        QFETCH(bool, final);
        QFETCH(QString, how);
        QVERIFY(!m_core->showTimeLeft()); // off by default
        tap(0);
        m_player->setPosition(position);
        m_core->setShowTimeLeft(true);
        QCOMPARE(m_core->statusText(0), text);
        QCOMPARE(m_core->finalSeconds(), final);
        QVERIFY(BoardSettings(*m_registry).showTimeLeft()); // stored as [System] ShowTimeLeft
        if (how.isEmpty()) {
            // Switched off, the panel shows the position again.
            m_core->setShowTimeLeft(false);
            QCOMPARE(m_core->statusText(0), FormatSeconds(position));
            QVERIFY(!m_core->finalSeconds());
            return;
        }
        if (how == QLatin1String("end")) {
            m_player->finish();
        } else if (how == QLatin1String("stop")) {
            m_core->StopSongClick();
        } else if (how == QLatin1String("stopall")) {
            m_core->StopAllClick();
        } else {
            m_core->FadeClick();
            while (m_core->FadeTimer->Enabled())
                m_core->FadeTimerTimer();
        }
        settle();
        QVERIFY(idle());
        QCOMPARE(m_core->statusText(0), QString());
        QVERIFY(!m_core->finalSeconds());
        // The length and the name of the song that played stay as they were.
        QCOMPARE(m_core->statusText(1), FormatSeconds(61.0));
    }

    void pressesAndCommandsPlayAsTheyShould_data()
    {
        QTest::addColumn<int>("mode"); // slot 0's
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("playing"); // the file index that plays after them, "-" for none
        QTest::addColumn<QString>(
            "states"); // of slots 0..3 when not empty, by initial: Filled Playing Next Queued
        QTest::addColumn<QString>("queue"); // the queue's file indexes when not empty, "-" for none
        QTest::addColumn<QString>("news");  // all the show holds when not empty, "-" for none
        const int restart = int(ButtonSettings::Mode::Restart);
        const int toggle = int(ButtonSettings::Mode::Toggle);
        const int hold = int(ButtonSettings::Mode::Hold);
        const auto row = [](const char* name, int mode, const char* steps, const char* playing,
                            const char* states = "", const char* queue = "", const char* news = "") {
            QTest::newRow(name) << mode << QString::fromLatin1(steps) << QString::fromLatin1(playing)
                                << QString::fromLatin1(states) << QString::fromLatin1(queue)
                                << QString::fromUtf8(news);
        };
        // Slot 0 holds A, slot 4 A again, slot 1 B.
        row("restart: a second press plays it again", restart, "press0 press0 release0", "0");
        row("toggle: a second press stops it", toggle, "press0 press0", "-");
        row("toggle: a third press plays it again", toggle, "press0 press0 press0", "0");
        row("toggle: its release does nothing", toggle, "press0 release0", "0");
        row("toggle: a Shift+press queues as ever", toggle, "press0 queue1 queue1", "0");
        row("toggle: the same song from another slot", toggle, "press4 press0", "0");
        row("hold: the release stops it", hold, "press0 release0", "-");
        row("hold: the mouse let go stops it", hold, "press0 up0", "-");
        row("hold: another slot's release", hold, "press0 release4 release1", "0");
        row("hold: released after another song began", hold, "press0 press1 release0", "1");
        // The replaced song was not reported stopped, so the new one stays at the head.
        row("a plain press replaces the list", restart, "shift0 shift1 play press3", "3", "FFFP", "3");
        row("Stop Song skips", restart, "shift0 shift1 shift2 play stopsong", "1", "FPNF", "1 2");
        row("Stop All ends", restart, "shift0 shift1 shift2 play stopsong stopall", "-", "FFFF", "-");
        row("Pause", restart, "press0 pause", "0 paused", "QFFF", "0");
        row("Play after Pause resumes", restart, "press0 pause play", "0", "PFFF", "0");
        row("a plain press while paused plays", restart, "press0 pause press1", "1", "FPFF", "1");
        // Taken out of the queue while it plays: it plays on, and the next one follows it.
        row("the playing song taken out", restart, "shift0 shift1 play shift0", "0", "PNFF", "1");
        row("the playing song taken out, ends", restart, "shift0 shift1 play shift0 end", "1", "FPFF", "1");
        row("the playing song taken out, both end", restart, "shift0 shift1 play shift0 end end", "-", "FFFF",
            "-");
        // A second Shift+press takes a song out and ends the queue edit: the next press plays.
        row("Shift+press twice takes it out", restart, "shift0 shift1 shift1", "-", "QFFF", "0");
        row("a press after taking one out plays", restart, "shift0 shift1 shift1 press2", "2", "FFPF", "2");
        row("Shift+press on an empty slot", restart, "shift0 shift10 press1", "1", "FPFF", "1");
        // Clear Tab empties the sheet, but what plays and waits plays on.
        row("Clear Tab leaves the queue", restart, "press0 clear", "0", "EEEE", "0");
        row("Clear Tab, then the song ends", restart, "press0 clear end", "-", "EEEE", "-");
        row("a fade ends with its song", restart, "shift0 shift1 play fade tick stopsong", "1", "FPFF", "1");
        // A queued song that cannot start is skipped, said as news: no box may hold the next song.
        // The operator's next press starts a new show, and the news of the old one goes.
        row("missing: skipped", restart, "shift0 shift2 shift1 play missing end", "1", "FPFF", "1",
            "Skipped: Unable to find %2");
        row("undecodable: skipped", restart, "shift0 shift2 shift1 play undecodable end", "1", "FPFF", "1",
            "Skipped: Unable to play %2");
        row("a folder named like a song: skipped", restart, "shift0 shift2 shift1 play folder end", "1",
            "FPFF", "1", "Skipped: Unable to play %2: it is a folder, not a song file");
        row("missing: the next press", restart, "shift0 shift2 shift1 play missing end tap3", "3", "FFFP",
            "3", "-");
        row("undecodable: the next press", restart, "shift0 shift2 shift1 play undecodable end tap3", "3",
            "FFFP", "3", "-");
        row("a folder: the next press", restart, "shift0 shift2 shift1 play folder end tap3", "3", "FFFP",
            "3", "-");
        // No sound server: the queue waits, and Play plays at once once it answers.
        row("Play with no server", restart, "shift0 shift1 shift2 server0 play", "-", "QQQF", "0 1 2",
            "No audio output: Connection refused");
        row("Play once the server answers", restart, "shift0 shift1 shift2 server0 play server1 play", "0",
            "PNQF", "0 1 2", "-");
        // The chosen output gone: news, never a stop, and the next song's name does not take it
        // away; it goes when the output is back.
        const char* monitor =
            "The output \"Monitor\" is not there: songs play on the default output until it returns.";
        row("an output gone", restart, "monitor0 press1", "1", "FPFF", "1", monitor);
        row("an output gone while a song plays", restart, "press0 monitor0 press1", "1", "FPFF", "1",
            monitor);
        row("an output back", restart, "press0 monitor0 press1 monitor1", "1", "FPFF", "1", "-");
        // The server lost while a song plays: the queue waits, Play starts again from the song cut off.
        row("the server lost", restart, "shift0 shift1 play lost", "-", "QQFF", "0 1",
            "No audio output: Connection terminated");
        row("Play after the server was lost", restart, "shift0 shift1 play lost play", "0", "PNFF", "0 1",
            "-");
    }

    void pressesAndCommandsPlayAsTheyShould()
    {
        QFETCH(int, mode);
        QFETCH(QString, steps);
        QFETCH(QString, playing);
        QFETCH(QString, states);
        QFETCH(QString, queue);
        QFETCH(QString, news);
        m_core->songInfo().setButtonSettings(0, 0, buttonPlaying(0.0, ButtonSettings::Mode(mode), false));
        m_outputs.devices = {{QStringLiteral("hdmi"), QStringLiteral("Monitor")}};
        m_core->setOutputDevice(QStringLiteral("hdmi"));
        runAll(steps);
        const Transport& t = m_core->transport();
        QCOMPARE(m_errors->messages.size(), 0); // no box in front of the board
        QVERIFY(!m_core->QueueMode);
        if (playing == QLatin1String("-")) {
            QCOMPARE(m_board->playState(), TPlayState::psStopped);
            QVERIFY(!t.stop && !t.pause && !m_core->WaveTimer->Enabled());
        } else {
            const bool paused = playing.endsWith(QLatin1String("paused"));
            const QString file = m_files[playing.left(1).toInt()];
            QCOMPARE(m_board->playState(), paused ? TPlayState::psPaused : TPlayState::psPlaying);
            QCOMPARE(m_player->fileName(), file);
            QCOMPARE(t.play, paused); // Play and Pause swap
            QCOMPARE(t.pause, !paused);
            QVERIFY(m_core->WaveTimer->Enabled() || paused);
            QCOMPARE(m_core->statusText(2), QStringLiteral("Now Playing ") + file);
            QVERIFY(!m_core->FadeTimer->Enabled()); // no row ends in a fade: it starts full
            QCOMPARE(m_player->volume(), 0);
        }
        if (!states.isEmpty())
            QCOMPARE(initials(), states);
        if (!queue.isEmpty()) {
            QStringList files;
            for (const QString& k : queue.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                files << (k == QLatin1String("-") ? QString() : m_files[k.toInt()]);
            files.removeAll(QString());
            QCOMPARE(m_core->PlayQueue, files);
        }
        if (queue == QLatin1String("-")) {
            QVERIFY(idle());
            QCOMPARE(m_player->playState(), int(MediaPlayer::Stopped));
        }
        if (!news.isEmpty())
            QCOMPARE(newsText(),
                     news == QLatin1String("-") ? QString() : QString(news).replace(u"%2"_s, m_files[2]));
    }

    void withAuditionOnlyTheOperatorsOwnPressesPlayOnThePreview_data()
    {
        QTest::addColumn<PressedBy>("by");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<bool>("audition");
        QTest::addColumn<QString>("how");   // slot 2's song broken so, or ""
        QTest::addColumn<QString>("heard"); // preview, house, queued, box, news or error
        const auto row = [](const char* name, PressedBy by, bool shift, bool audition, const char* how,
                            const char* heard) {
            QTest::newRow(name) << by << shift << audition << QString::fromLatin1(how)
                                << QString::fromLatin1(heard);
        };
        row("mouse", PressedBy::Mouse, false, true, "", "preview");
        row("slot key", PressedBy::Key, false, true, "", "preview");
        row("MIDI pad", PressedBy::Midi, false, true, "", "preview");
        row("Shift+click", PressedBy::Mouse, true, true, "", "preview");
        row("Shift+slot key", PressedBy::Key, true, true, "", "preview");
        row("MIDI queue pad", PressedBy::Midi, true, true, "", "preview");
        row("OSC", PressedBy::Osc, false, true, "", "house");
        row("web", PressedBy::Web, false, true, "", "house");
        row("OSC queue", PressedBy::Osc, true, true, "", "queued");
        row("mouse, Audition off", PressedBy::Mouse, false, false, "", "house");
        row("MIDI pad, Audition off", PressedBy::Midi, false, false, "", "house");
        // A song that cannot play answers as a failed press does, and the house plays on.
        row("mouse, missing", PressedBy::Mouse, false, true, "missing", "box");
        row("slot key, a folder", PressedBy::Key, false, true, "folder", "box");
        row("MIDI pad, missing", PressedBy::Midi, false, true, "missing", "news");
        row("mouse, a CD track", PressedBy::Mouse, false, true, "cd without a player", "error");
    }

    void withAuditionOnlyTheOperatorsOwnPressesPlayOnThePreview()
    {
        QFETCH(PressedBy, by);
        QFETCH(bool, shift);
        QFETCH(bool, audition);
        QFETCH(QString, how);
        QFETCH(QString, heard);
        run(u"press0"_s); // A plays in the house
        m_core->setAudition(audition);
        QCOMPARE(m_board->audition(), audition);
        if (!how.isEmpty())
            breakSong(how);
        const QString panel2 = m_core->statusText(2);
        QSignalSpy changed(m_board, &Board::slotChanged);
        QSignalSpy boxed(m_core.get(), &ShowCore::missingSongPressed);
        guard([&] {
            if (shift && (by == PressedBy::Osc || by == PressedBy::Midi))
                m_board->queue(0, 2, by);
            else
                m_core->SongPress({0, 2}, shift, by);
        });
        guard([&] { m_core->SongRelease({0, 2}, by); });
        settle();
        const bool house = heard == QLatin1String("house");
        QCOMPARE(m_preview.path, heard == QLatin1String("preview") ? m_files[2] : QString());
        QCOMPARE(m_player->fileName(), m_files[house ? 2 : 0]);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
        if (house || heard == QLatin1String("queued"))
            return;
        // The show is as it was: no queue, no colours, no panels.
        QCOMPARE(m_core->PlayQueue, QStringList{m_files[0]});
        QCOMPARE(initials(), u"PFFF"_s);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(m_core->statusText(2), panel2);
        QCOMPARE(m_preview.from,
                 heard == QLatin1String("preview") ? std::optional<double>(0.0) : std::nullopt);
        QCOMPARE(boxed.count(), heard == QLatin1String("box") ? 1 : 0);
        QCOMPARE(newsText().contains(u"A MIDI press did not play"_s), heard == QLatin1String("news"));
        QCOMPARE(m_errors->messages.size(), heard == QLatin1String("error") ? 1 : 0);
    }

    void auditionStopsWithStopSongAndStopAllAndNeedsAPreview()
    {
        QSignalSpy told(m_board, &Board::auditionChanged);
        QSignalSpy refused(m_board, &ShowCore::commandRefused);
        // No preview output to play on: its key is refused, and it stays off.
        m_preview.why = u"Choose a preview output"_s;
        m_core->runCommand(KeyCommand::Audition);
        QVERIFY(!m_board->audition());
        QCOMPARE(refused.count(), 1);
        m_preview.why.clear();
        m_core->runCommand(KeyCommand::Audition);
        QVERIFY(m_board->audition());
        QCOMPARE(told.count(), 1);

        // Stop Song and Stop All stop it with nothing in the house, and are taken while it plays:
        // as a remote or a key gives them, and as the window's controls do.
        QSignalSpy transport(m_core.get(), &ShowCore::transportChanged);
        const QList<std::function<void()>> stops = {
            [&] { m_board->stopSong(); }, [&] { m_board->stopAll(); }, [&] { m_core->StopClick(); },
            [&] { m_core->StopSongClick(); }, [&] { m_core->StopAllClick(); }};
        for (const auto& stop : stops) {
            tap(1);
            QVERIFY(m_preview.from);
            QCOMPARE(m_core->transport(), (Transport{false, true, false, true, true, false}));
            stop();
            settle();
            QVERIFY(!m_preview.from);
            QVERIFY(idle());
        }
        QCOMPARE(refused.count(), 1);
        QCOMPARE(transport.count(), 10);
        // Once it ends by itself, they are refused again.
        tap(1);
        m_preview.from.reset();
        QTRY_VERIFY(idle());
        m_board->stopSong();
        QCOMPARE(refused.count(), 2);
        // The window's Stop stops it beside the song in the house.
        m_board->press(0, 0, PressedBy::Osc);
        tap(1);
        m_core->StopClick();
        settle();
        QVERIFY(!m_preview.from);
        QCOMPARE(m_board->playState(), TPlayState::psStopped);
        // Off, it stops what it played; every new show starts with it off.
        tap(1);
        m_core->runCommand(KeyCommand::Audition);
        QVERIFY(!m_preview.from && !m_board->audition());
        m_core->setAudition(true);
        openShow(defaultStore());
        QVERIFY(!m_core->audition());
        openShow(defaultStore(), nullptr, false);
        m_core->setAudition(true);
        QVERIFY(!m_core->audition());
    }

    void aButtonsVolumeLoopAndTimesReachThePlayer()
    {
        m_core->songInfo().setButtonSettings(0, 1, buttonPlaying(-6.0, ButtonSettings::Mode::Restart, true));
        TSongRecord rec = m_core->songInfo().GetSongOrDefault(0, 1);
        rec.StartTime.set(QStringLiteral("0:01.5"));
        rec.StopTime.set(QStringLiteral("00:09"));
        rec.FadeStart.set(QStringLiteral("7"));
        rec.FadeDuration.set(QStringLiteral("2"));
        m_core->songInfo().SetSong(0, 1, rec);
        m_board->press(0, 1, PressedBy::Osc);
        settle();
        QVERIFY(std::abs(m_player->spans.value(m_files[1]).gain - 0.501) < 0.001);
        QCOMPARE(m_player->spans.value(m_files[1]).start, 0.0); // song times are off by default
        QVERIFY(m_player->loop);

        // With Use Song Times, the record's times; one that cannot be read is said once.
        m_core->setUseSongTimes(!m_core->useSongTimes());
        QCOMPARE(m_player->spans.value(m_files[1]).start, 0.0);
        m_board->press(0, 1, PressedBy::Osc);
        settle();
        const PlaySpan span = m_player->spans.value(m_files[1]);
        QCOMPARE((QList<double>{span.start, span.stop, span.fadeStart, span.fadeDuration}),
                 (QList<double>{1.5, 9.0, 7.0, 2.0}));
        rec.StopTime.set(QStringLiteral("9 min"));
        m_core->songInfo().SetSong(0, 1, rec);
        m_board->press(0, 2, PressedBy::Osc); // C carries no settings: no loop
        settle();
        QVERIFY(!m_player->loop);
        m_board->queue(0, 1, PressedBy::Key); // made ready to follow: read, and said
        settle();
        QCOMPARE(m_player->spans.value(m_files[1]).stop, 0.0);
        QVERIFY(m_news.value(ButtonPlay::TimesNews).contains(QStringLiteral("Stop Time")));
        m_news.remove(ButtonPlay::TimesNews);
        m_board->press(0, 1, PressedBy::Osc);
        settle();
        QVERIFY(m_news.value(ButtonPlay::TimesNews).isEmpty());
    }

    void aShowIsLoggedAsItPlays()
    {
        m_core->setLogPlays(!m_core->logPlays());
        m_core->SongPress({0, 0}, false, PressedBy::Mouse); // A by the mouse
        m_board->press(0, 1, PressedBy::Osc);               // B cuts in
        settle();
        m_player->finish(); // B's own end: the board goes idle
        settle();
        m_board->queue(0, 2, PressedBy::Key);
        m_board->queue(0, 3, PressedBy::Key);
        m_board->play(); // C from the Play command
        settle();
        m_board->stopSong(); // D follows on its own
        settle();
        m_board->fade(5);
        for (int k = 0; k < 100 && m_core->FadeTimer->Enabled(); ++k)
            m_core->FadeTimerTimer();
        settle();
        m_core->SongPress({0, 2}, false, PressedBy::Key); // C by its key
        settle();
        m_board->pause();
        settle();
        m_board->stopAll();
        settle();
        m_board->press(0, 4, PressedBy::Web); // A again, from its second slot
        settle();
        m_player->loseOutput(QStringLiteral("unplugged"));
        settle();
        const QStringList expected{
            u"start,1,1,A,,mouse"_s,     u"end,1,1,A,next,mouse"_s,   u"start,1,2,B,,osc"_s,
            u"end,1,2,B,end,osc"_s,      u"start,1,3,C,,play"_s,      u"end,1,3,C,stop,play"_s,
            u"start,1,4,D,,queue"_s,     u"end,1,4,D,fade,queue"_s,   u"start,1,3,C,,key"_s,
            u"end,1,3,C,stop all,key"_s, u"start,1,5,A again,,web"_s, u"end,1,5,A again,output lost,web"_s};
        QTRY_COMPARE(logLines(), expected);
        QVERIFY(BoardSettings(*m_registry).logPlays()); // stored as [System] LogPlays
        QVERIFY(m_news.value(ShowCore::LogNews).isEmpty());
    }

    void aLogTheDiskCannotTakeIsSaidAndTheShowGoesOn()
    {
        // A file where the log's folder should be: it cannot be made, even by root.
        QDir().mkpath(m_env->dataDir() + QStringLiteral("/Sonavex"));
        QFile blocker(m_env->dataDir() + QStringLiteral("/Sonavex/logs"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_core->setLogPlays(!m_core->logPlays());
        m_board->press(0, 0, PressedBy::Osc);
        settle();
        QCOMPARE(m_player->fileName(), m_files[0]);
        QTRY_VERIFY(m_news.value(ShowCore::LogNews).contains(QStringLiteral("logs")));
        m_board->press(0, 1, PressedBy::Osc);
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        m_core->setLogPlays(!m_core->logPlays()); // off: the news goes
        QVERIFY(m_news.value(ShowCore::LogNews).isEmpty());
        m_core->setLogPlays(!m_core->logPlays()); // on again with the disk still failing: said again
        m_board->press(0, 2, PressedBy::Osc);
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);
        QTRY_VERIFY(!m_news.value(ShowCore::LogNews).isEmpty());
        QCOMPARE(m_errors->messages.size(), 0);
    }

    void sheetNamesAreWrittenAtTheEndAndReadByTheirOwnNames()
    {
        const auto tabs = [this] {
            IniRegistry reg(m_env->configDir());
            QStringList out;
            if (reg.OpenKey(u"Software\\Brasswold\\Tabs"_s, false))
                for (int i = 0; i < 10; ++i)
                    out << (reg.ValueExists(u"Tab%1"_s.arg(i)) ? reg.ReadString(u"Tab%1"_s.arg(i)) : u"-"_s);
            return out;
        };
        QCOMPARE(tabs().value(0, u"-"_s), u"-"_s); // nothing written before the end
        const QString infoPath = m_core->songInfo().infoPath();
        closeShow();
        QStringList names;
        for (int i = 1; i <= 10; ++i)
            names << u"Music Sheet %1"_s.arg(i);
        QCOMPARE(tabs(), names);
        QCOMPARE(QFileInfo(infoPath).size(), 5 * 416);
        // The end silenced the player before stopping it.
        const qsizetype off = m_player->log.indexOf(u"events off"_s);
        QVERIFY(off >= 0);
        QCOMPARE(m_player->log.at(off + 1), u"stop"_s);
        {
            IniRegistry reg(m_env->configDir());
            QVERIFY(reg.OpenKey(u"Software\\Brasswold\\Tabs"_s, true));
            reg.WriteString(u"Tab5"_s, u"Encores"_s);
            reg.WriteString(u"Tab0"_s, QString());
            reg.WriteString(u"Tab1"_s, u"Openers"_s);
        }
        openShow(defaultStore());
        QCOMPARE(m_core->sheetName(0), u"Music Sheet 1"_s);
        QCOMPARE(m_core->sheetName(1), u"Openers"_s);
        QCOMPARE(m_core->sheetName(5), u"Encores"_s);
    }

    void songsNamedInAnyScriptPlayAfterARestart()
    {
        // Prepared in one run, played in the next: one where it was stored, one moved below the song file.
        const QString here = makeFile(u"Аплодисменты.wav"_s);
        const QString folder = QFileInfo(m_core->songInfo().infoPath()).absolutePath();
        const QString moved = folder + u"/Шоу/拍手 🎉.wav"_s;
        QVERIFY(QDir().mkpath(QFileInfo(moved).absolutePath()));
        QVERIFY(QFile::copy(here, moved));
        closeShow();
        {
            TSongInfo store(*m_registry, *m_dialogs);
            store.SetSong(1, 0, makeSong(QString(), 1, 0), {{}, {}, u"Аплодисменты"_s, here});
            store.SetSong(1, 1, makeSong(QString(), 1, 1),
                          {{}, {}, u"拍手 🎉"_s, u"/old/disk/Шоу/拍手 🎉.wav"_s});
        }
        openShow(defaultStore());
        QCOMPARE(m_core->slotTitle(1, 0), u"Аплодисменты"_s);
        QCOMPARE(m_core->slotTitle(1, 1), u"拍手 🎉"_s);
        m_core->SongPress({1, 0}, false, PressedBy::Mouse);
        QCOMPARE(m_player->fileName(), here);
        QCOMPARE(m_core->statusText(2), u"Now Playing "_s + here);
        m_core->SongPress({1, 1}, false, PressedBy::Mouse);
        QCOMPARE(m_player->fileName(), moved);
        QVERIFY(m_errors->messages.isEmpty());
    }

    void tabNamesAndTitlesAreTold()
    {
        QSignalSpy names(m_board, &Board::sheetNameChanged);
        QSignalSpy slots(m_board, &Board::slotChanged);
        m_core->setSheetName(3, QStringLiteral("Act Two"));
        putSong(m_core->songInfo(), 0, 7, QStringLiteral("Bows"), m_files[1]);
        m_core->refresh();
        settle();
        QCOMPARE(names.count(), 1);
        QCOMPARE(names.at(0).at(1).toString(), QStringLiteral("Act Two"));
        QCOMPARE(m_board->sheetName(3), QStringLiteral("Act Two"));
        QCOMPARE(slots.count(), 1);
        QCOMPARE(slots.at(0).at(3).toString(), QStringLiteral("Bows"));
    }
};

QTEST_GUILESS_MAIN(TestShowCore)
#include "tst_showcore.moc"
