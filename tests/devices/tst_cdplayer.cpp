// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/MCI.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/RecordingMciDevice.h"
#include "mci/MciInterface.h"
#include "platform/Errors.h"

#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>

namespace {

constexpr quint32 Window = 0x4711;

class Listener : public CDStateListener {
public:
    void CDStateChanged(TCDState state) override { reports << state; }
    QList<TCDState> reports;
};

/// Runs one poll tick as the timer would.
void tick(TCDPlayer& player)
{
    QVERIFY(QMetaObject::invokeMethod(player.PollTimer, "timeout"));
}

} // namespace

Q_DECLARE_METATYPE(TCDState)

class TestCDPlayer : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingMciDevice> m_cd;
    std::unique_ptr<QObject> m_owner;
    Listener m_listener;

    std::unique_ptr<TCDPlayer> makePlayer()
    {
        auto player = std::make_unique<TCDPlayer>(Window, *m_owner, m_listener);
        m_cd->clearLog();
        return player;
    }

    /// A player whose disc plays track 5 (its timer on).
    std::unique_ptr<TCDPlayer> playingTrack5()
    {
        auto player = makePlayer();
        m_cd->queueStatus(MCI_STATUS_MODE, {MCI_MODE_PLAY});
        player->PlayTrack(5);
        m_cd->clearLog();
        return player;
    }

private Q_SLOTS:
    void init()
    {
        Mci::reset();
        m_cd = std::make_unique<RecordingMciDevice>(QStringLiteral("cdaudio"), Mci::Sharing::OneMedium);
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_STOP);
        m_cd->setStatus(MCI_STATUS_NUMBER_OF_TRACKS, 12);
        m_owner = std::make_unique<QObject>();
        m_listener.reports.clear();
        LastReportedState = TCDState::cdDoorOpen;
    }

    void cleanup()
    {
        m_owner.reset();
        m_cd.reset();
        Mci::reset();
    }

    void shouldOpenSharedInTmsfAndAskFiveCapabilities()
    {
        TCDPlayer player(Window, *m_owner, m_listener);
        const auto& r = m_cd->requests();
        QCOMPARE(m_cd->commands(),
                 (QList<quint32>{MCI_OPEN, MCI_SET, MCI_STATUS, MCI_GETDEVCAPS, MCI_GETDEVCAPS,
                                 MCI_GETDEVCAPS, MCI_GETDEVCAPS, MCI_GETDEVCAPS}));
        QCOMPARE(r[0].flags, 0x2100u);
        QCOMPARE(r[0].fields.value(QStringLiteral("lpstrDeviceType")).toString(), QStringLiteral("cdaudio"));
        QVERIFY(!r[0].fields.value(QStringLiteral("lpstrElementName")).isValid());
        QVERIFY(!r[0].fields.value(QStringLiteral("lpstrAlias")).isValid());
        QCOMPARE(r[1].deviceId, player.DeviceID);
        QCOMPARE(r[1].flags, 0x0400u);
        QCOMPARE(r[1].field("dwTimeFormat"), 10u);
        QCOMPARE(r[2].flags, 0x0110u);
        QCOMPARE(r[2].field("dwItem"), 4u);
        QCOMPARE(r[2].field("dwTrack"), 0u);
        QList<quint32> items;
        for (int i = 3; i < 8; ++i) {
            QCOMPARE(r[i].flags, 0x0102u);
            items << r[i].field("dwItem");
        }
        QCOMPARE(items, (QList<quint32>{7, 8, 1, 9, 5}));

        QCOMPARE(player.DeviceID, 1u);
        QCOMPARE(player.State, TCDState::cdStopped);
        QCOMPARE(player.PollTimer->parent(), m_owner.get());
        QCOMPARE(player.PollTimer->interval(), 1000);
        QVERIFY(!player.PollTimer->isActive());
    }

    void failedConstructionRaisesAndLeavesNothingOpen_data()
    {
        QTest::addColumn<quint32>("command");
        QTest::addColumn<int>("skip"); // requests of that command that succeed first
        QTest::addColumn<MCIERROR>("error");
        QTest::addColumn<QList<quint32>>("expected");
        QTest::newRow("open") << MCI_OPEN << 0 << MCIERR_CD_NO_DRIVE << QList<quint32>{MCI_OPEN};
        QTest::newRow("time format") << MCI_SET << 0 << MCIERR_BAD_TIME_FORMAT
                                     << QList<quint32>{MCI_OPEN, MCI_SET, MCI_STATUS, MCI_CLOSE};
        QTest::newRow("first mode query")
            << MCI_STATUS << 0 << MCIERR_CD_NO_DISC
            << QList<quint32>{MCI_OPEN, MCI_SET, MCI_STATUS, MCI_STATUS, MCI_CLOSE};
        QTest::newRow("third capability")
            << MCI_GETDEVCAPS << 2 << MCIERR_HARDWARE
            << QList<quint32>{MCI_OPEN,       MCI_SET,        MCI_STATUS, MCI_GETDEVCAPS,
                              MCI_GETDEVCAPS, MCI_GETDEVCAPS, MCI_STATUS, MCI_CLOSE};
    }

    void failedConstructionRaisesAndLeavesNothingOpen()
    {
        QFETCH(quint32, command);
        QFETCH(int, skip);
        QFETCH(MCIERROR, error);
        QFETCH(QList<quint32>, expected);
        RecordingErrorReporter reporter;
        if (skip > 0) {
            m_cd->handler = [&, seen = 0](const RecordingMciDevice::Request& r,
                                          void*) mutable -> std::optional<MCIERROR> {
                if (r.command == command && seen++ == skip)
                    return error;
                return std::nullopt;
            };
        } else {
            m_cd->failNext(command, error);
        }

        try {
            TCDPlayer player(Window, *m_owner, m_listener);
            QFAIL("construction should have failed");
        } catch (const GeneralError& e) {
            QCOMPARE(e.message(), Mci::errorText(error));
        }
        QCOMPARE(m_cd->commands(), expected);
        QVERIFY(Mci::openDevices().isEmpty());
        QVERIFY(reporter.messages.isEmpty());

        // The timer the owner keeps never reaches the dead player.
        auto* timer = m_owner->findChild<QTimer*>();
        QVERIFY(timer);
        QVERIFY(!timer->isActive());
        m_cd->clearLog();
        QMetaObject::invokeMethod(timer, "timeout");
        QVERIFY(m_cd->requests().isEmpty());
    }

    void playTrackSendsRangeOfTrack_data()
    {
        QTest::addColumn<QList<int>>("before"); // tracks played (-1: Pause) first
        QTest::addColumn<int>("track");
        QTest::addColumn<quint32>("tracks");
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<quint32>("from");
        QTest::addColumn<quint32>("to");
        QTest::newRow("inner track") << QList<int>{} << 5 << 12u << 12u << MCI_MAKE_TMSF(5, 0, 0, 0)
                                     << MCI_MAKE_TMSF(6, 0, 0, 0);
        QTest::newRow("last track to the end") << QList<int>{} << 12 << 12u << 4u << 12u << 0u;
        QTest::newRow("beyond the disc, sent as it is") << QList<int>{} << 13 << 12u << 4u << 13u << 0u;
        QTest::newRow("resume before any track") << QList<int>{} << 0 << 12u << 8u << 0u << 1u;
        QTest::newRow("resume after a pause") << QList<int>{5, -1} << 0 << 12u << 8u << 0u << 6u;
        QTest::newRow("negative resumes too") << QList<int>{5, -1} << -3 << 12u << 8u << 0u << 6u;
        QTest::newRow("resume on an empty disc") << QList<int>{} << 0 << 0u << 0u << 0u << 0u;
        QTest::newRow("track 255 of a long disc") << QList<int>{} << 255 << 255u << 4u << 255u << 0u;
    }

    void playTrackSendsRangeOfTrack()
    {
        QFETCH(QList<int>, before);
        QFETCH(int, track);
        QFETCH(quint32, tracks);
        QFETCH(quint32, flags);
        QFETCH(quint32, from);
        QFETCH(quint32, to);
        m_cd->setStatus(MCI_STATUS_NUMBER_OF_TRACKS, tracks);
        auto player = makePlayer();
        for (const int t : before) {
            if (t < 0)
                player->Pause();
            else
                player->PlayTrack(t);
        }
        m_cd->clearLog();
        m_cd->queueStatus(MCI_STATUS_MODE, {MCI_MODE_PLAY});

        player->PlayTrack(track);

        const auto& r = m_cd->requests();
        QCOMPARE(m_cd->commands(), (QList<quint32>{MCI_STATUS, MCI_PLAY, MCI_STATUS}));
        QCOMPARE(r[0].flags, 0x0102u);
        QCOMPARE(r[0].field("dwItem"), 3u);
        QCOMPARE(r[1].flags, flags);
        QCOMPARE(r[1].field("dwCallback"), Window);
        if (flags & MCI_FROM)
            QCOMPARE(r[1].field("dwFrom"), from);
        if (flags & MCI_TO)
            QCOMPARE(r[1].field("dwTo"), to);
        QCOMPARE(r[2].field("dwItem"), 4u);
        QCOMPARE(player->Flags, flags);
        QCOMPARE(player->State, TCDState::cdPlaying);
        QVERIFY(player->PollTimer->isActive());
    }

    void playTrackFromStartsWithinTheTrack_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<quint32>("from");
        QTest::newRow("from its start") << 0.0 << MCI_MAKE_TMSF(5, 0, 0, 0);
        QTest::newRow("joined 2:05.5 in, to the frame before") << 125.5 << MCI_MAKE_TMSF(5, 2, 5, 37);
        QTest::newRow("past what TMSF holds") << 1e6 << MCI_MAKE_TMSF(5, 255, 59, 0);
        QTest::newRow("not a number") << std::nan("") << MCI_MAKE_TMSF(5, 0, 0, 0);
    }

    void playTrackFromStartsWithinTheTrack()
    {
        QFETCH(double, seconds);
        QFETCH(quint32, from);
        auto player = makePlayer();
        m_cd->queueStatus(MCI_STATUS_MODE, {MCI_MODE_PLAY});
        player->PlayTrack(5, seconds);
        const auto& r = m_cd->requests();
        QCOMPARE(m_cd->commands(), (QList<quint32>{MCI_STATUS, MCI_PLAY, MCI_STATUS}));
        QCOMPARE(r[1].field("dwFrom"), from);
        QCOMPARE(r[1].field("dwTo"), MCI_MAKE_TMSF(6, 0, 0, 0));
    }

    void refusedPlayRaisesDeviceTextAndKeepsState()
    {
        auto player = makePlayer();
        m_cd->failNext(MCI_PLAY, MCIERR_CD_NO_SUCH_TRACK);
        try {
            player->PlayTrack(13);
            QFAIL("PlayTrack should have raised");
        } catch (const GeneralError& e) {
            QCOMPARE(e.message(), QStringLiteral("The specified track is not on the disc"));
        }
        QCOMPARE(m_cd->commands().last(), MCI_PLAY);
        QCOMPARE(player->LastError, MCIERR_CD_NO_SUCH_TRACK);
        QCOMPARE(player->CurrentTrack, 13);
        QCOMPARE(player->State, TCDState::cdStopped);
    }

    void tracksOutsideAByteRaiseRangeErrorBeforeAnyRequest()
    {
        m_cd->setStatus(MCI_STATUS_NUMBER_OF_TRACKS, 300);
        auto player = makePlayer();
        QVERIFY_THROWS_EXCEPTION(RangeError, player->PlayTrack(256));
        QVERIFY(m_cd->requests().isEmpty());
        QCOMPARE(player->CurrentTrack, 0);

        // Track 255 of a longer disc would have to end at track 256.
        QVERIFY_THROWS_EXCEPTION(RangeError, player->PlayTrack(255));
        QVERIFY(m_cd->requestsOf(MCI_PLAY).isEmpty());
        QCOMPARE(player->CurrentTrack, 0);
    }

    void refreshStateMapsModes_data()
    {
        QTest::addColumn<bool>("wasPlaying");
        QTest::addColumn<quint32>("mode");
        QTest::addColumn<TCDState>("state");
        QTest::addColumn<bool>("timerOn");
        QTest::newRow("stop") << true << MCI_MODE_STOP << TCDState::cdStopped << false;
        QTest::newRow("pause") << true << MCI_MODE_PAUSE << TCDState::cdPaused << false;
        QTest::newRow("door open") << true << MCI_MODE_OPEN << TCDState::cdDoorOpen << false;
        QTest::newRow("play") << false << MCI_MODE_PLAY << TCDState::cdPlaying << true;
        QTest::newRow("record keeps timer on") << true << MCI_MODE_RECORD << TCDState::cdRecording << true;
        QTest::newRow("record keeps timer off") << false << MCI_MODE_RECORD << TCDState::cdRecording << false;
        QTest::newRow("seek keeps timer on") << true << MCI_MODE_SEEK << TCDState::cdSeeking << true;
        QTest::newRow("not ready while playing") << true << MCI_MODE_NOT_READY << TCDState::cdPlaying << true;
        QTest::newRow("not ready while stopped")
            << false << MCI_MODE_NOT_READY << TCDState::cdStopped << false;
        QTest::newRow("unknown mode") << true << 999u << TCDState::cdPlaying << true;
    }

    void refreshStateMapsModes()
    {
        QFETCH(bool, wasPlaying);
        QFETCH(quint32, mode);
        QFETCH(TCDState, state);
        QFETCH(bool, timerOn);
        auto player = wasPlaying ? playingTrack5() : makePlayer();
        m_cd->queueStatus(MCI_STATUS_MODE, {mode});
        player->Pause();
        QCOMPARE(player->State, state);
        QCOMPARE(player->PollTimer->isActive(), timerOn);
    }

    void seekAnswerAfterPlayLeavesTimerOff()
    {
        auto player = makePlayer();
        m_cd->queueStatus(MCI_STATUS_MODE, {MCI_MODE_SEEK});
        player->PlayTrack(5);
        QCOMPARE(player->State, TCDState::cdSeeking);
        QVERIFY(!player->PollTimer->isActive());
    }

    void enablingARunningTimerKeepsItsPhase()
    {
        auto player = playingTrack5();
        QTest::qWait(400);
        m_cd->queueStatus(MCI_STATUS_MODE, {MCI_MODE_PLAY});
        player->PlayTrack(6);
        QVERIFY(player->PollTimer->isActive());
        QVERIFY2(player->PollTimer->remainingTime() < 800, "the timer was restarted");
    }

    void failedStopIsOnlyInLastError()
    {
        auto player = playingTrack5();
        MCIERROR seenByModeQuery = 0;
        TCDPlayer* p = player.get();
        m_cd->handler = [&](const RecordingMciDevice::Request& r, void*) -> std::optional<MCIERROR> {
            if (r.command == MCI_STOP)
                return MCIERR_HARDWARE;
            if (r.command == MCI_STATUS)
                seenByModeQuery = p->LastError;
            return std::nullopt;
        };
        m_cd->queueStatus(MCI_STATUS_MODE, {MCI_MODE_PLAY});

        player->Stop();

        QCOMPARE(m_cd->commands(), (QList<quint32>{MCI_STOP, MCI_STATUS}));
        QCOMPARE(seenByModeQuery, MCIERR_HARDWARE);
        QCOMPARE(player->State, TCDState::cdPlaying); // what the mode query answered
        QVERIFY(player->PollTimer->isActive());

        // The mode query after it does raise.
        m_cd->failNext(MCI_STATUS, MCIERR_HARDWARE);
        QVERIFY_THROWS_EXCEPTION(GeneralError, player->Stop());
    }

    void destructionStopsOnlyAPlayingDisc_data()
    {
        QTest::addColumn<quint32>("mode"); // 0: the mode query fails
        QTest::addColumn<QList<quint32>>("expected");
        QTest::newRow("paused") << MCI_MODE_PAUSE << QList<quint32>{MCI_STATUS, MCI_CLOSE};
        QTest::newRow("playing") << MCI_MODE_PLAY
                                 << QList<quint32>{MCI_STATUS, MCI_STOP, MCI_STATUS, MCI_CLOSE};
        QTest::newRow("mode query fails: closed all the same") << 0u << QList<quint32>{MCI_STATUS, MCI_CLOSE};
    }

    void destructionStopsOnlyAPlayingDisc()
    {
        QFETCH(quint32, mode);
        QFETCH(QList<quint32>, expected);
        RecordingErrorReporter reporter;
        auto player = playingTrack5();
        QPointer<QTimer> timer = player->PollTimer;
        m_cd->setStatus(MCI_STATUS_MODE, mode);
        m_cd->queueStatus(MCI_STATUS_MODE, {mode, MCI_MODE_STOP});
        if (mode == 0)
            m_cd->failNext(MCI_STATUS, MCIERR_HARDWARE);

        player.reset();

        QCOMPARE(m_cd->commands(), expected);
        QCOMPARE(reporter.messages, mode == 0 ? QStringList{Mci::errorText(MCIERR_HARDWARE)} : QStringList());
        QCOMPARE(m_cd->requests().last().hasParms, false);
        QVERIFY(Mci::openDevices().isEmpty());
        // The timer stays with its owner, stopped and no longer bound to the player.
        QVERIFY(timer);
        QVERIFY(!timer->isActive());
        m_cd->clearLog();
        QMetaObject::invokeMethod(timer, "timeout");
        QVERIFY(m_cd->requests().isEmpty());
    }

    void positionTextReadsMinutesAndSecondsSeparately_data()
    {
        QTest::addColumn<quint32>("first");
        QTest::addColumn<quint32>("second");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << MCI_MAKE_TMSF(3, 3, 7, 40) << MCI_MAKE_TMSF(3, 3, 7, 41)
                               << QStringLiteral("03:07");
        QTest::newRow("minute boundary")
            << MCI_MAKE_TMSF(3, 1, 59, 74) << MCI_MAKE_TMSF(3, 2, 0, 0) << QStringLiteral("01:00");
        QTest::newRow("long track") << MCI_MAKE_TMSF(1, 123, 45, 0) << MCI_MAKE_TMSF(1, 123, 45, 0)
                                    << QStringLiteral("123:45");
    }

    void positionTextReadsMinutesAndSecondsSeparately()
    {
        QFETCH(quint32, first);
        QFETCH(quint32, second);
        QFETCH(QString, text);
        auto player = makePlayer();
        m_cd->queueStatus(MCI_STATUS_POSITION, {first, second});
        QCOMPARE(player->PositionText(), text);
        const auto positions = m_cd->requestsOf(MCI_STATUS);
        QCOMPARE(positions.size(), 2);
        for (const auto& r : positions) {
            QCOMPARE(r.flags, 0x0102u);
            QCOMPARE(r.field("dwItem"), 2u);
        }
    }

    void pollReportsChangesOnly()
    {
        auto player = playingTrack5();
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_PLAY);
        tick(*player);
        tick(*player);
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_STOP);
        tick(*player);
        QCOMPARE(m_listener.reports, (QList<TCDState>{TCDState::cdPlaying, TCDState::cdStopped}));
        QVERIFY(!player->PollTimer->isActive());
        QCOMPARE(LastReportedState, TCDState::cdStopped);

        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_PLAY);
        player->PlayTrack(6);
        tick(*player);
        QCOMPARE(m_listener.reports.size(), 3);
        // A stop the caller asked for is not reported, so the next play is not either.
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_STOP);
        player->Stop();
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_PLAY);
        player->PlayTrack(7);
        tick(*player);
        QCOMPARE(m_listener.reports.size(), 3);
    }

    void pollRunsByItselfWhilePlaying()
    {
        auto player = playingTrack5();
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_STOP);
        QTRY_COMPARE_WITH_TIMEOUT(m_listener.reports, QList<TCDState>{TCDState::cdStopped}, 2500);
    }

    void failingPollIsReportedOncePerRun()
    {
        RecordingErrorReporter reporter;
        auto player = playingTrack5();
        m_cd->failAlways(MCI_STATUS, MCIERR_HARDWARE);
        tick(*player);
        tick(*player);
        tick(*player);
        QCOMPARE(reporter.messages, QStringList{Mci::errorText(MCIERR_HARDWARE)});
        QVERIFY(player->PollTimer->isActive());

        m_cd->failAlways(MCI_STATUS, 0);
        m_cd->setStatus(MCI_STATUS_MODE, MCI_MODE_PLAY);
        tick(*player);
        m_cd->failAlways(MCI_STATUS, MCIERR_CD_NO_DISC);
        tick(*player);
        tick(*player);
        QCOMPARE(reporter.messages.size(), 2);
        QCOMPARE(reporter.messages.last(), QStringLiteral("The CD drive holds no disc"));
        m_cd->failAlways(MCI_STATUS, 0);
    }
};

QTEST_GUILESS_MAIN(TestCDPlayer)
#include "tst_cdplayer.moc"
