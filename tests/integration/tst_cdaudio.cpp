// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/MCI.h"
#include "fakes/CapturingAudioOutput.h"
#include "fakes/RecordingErrorReporter.h"
#include "mci/CdAudioDevice.h"
#include "mci/CdDrive.h"
#include "mci/CdromCatalog.h"
#include "mci/MciInterface.h"
#include "platform/Errors.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// A generated disc: every sample frame carries its sector number (left) and its place in
// the sector plus 1000 (right), so the captured sound tells exactly what was played.

namespace {

constexpr int FramesPerSector = 588;
constexpr int TrackOffset = 1000;

struct Frame {
    int sector;
    int index;
};

Frame frameAt(const std::vector<std::int16_t>& samples, std::size_t frame)
{
    return Frame{samples[frame * 2], samples[frame * 2 + 1] - TrackOffset};
}

/// Writes `name`.cue and `name`.bin; `sectors` gives each track's length, a negative length
/// a data track.
QString writeImage(const QString& dir, const QList<int>& sectors)
{
    QByteArray bin;
    QByteArray cue = "FILE \"disc.bin\" BINARY\n";
    int sector = 0;
    for (int t = 0; t < sectors.size(); ++t) {
        const bool audio = sectors[t] > 0;
        cue += QStringLiteral("  TRACK %1 %2\n    INDEX 01 %3:%4:%5\n")
                   .arg(t + 1, 2, 10, QLatin1Char('0'))
                   .arg(audio ? QStringLiteral("AUDIO") : QStringLiteral("MODE1/2352"))
                   .arg(sector / 4500, 2, 10, QLatin1Char('0'))
                   .arg(sector / 75 % 60, 2, 10, QLatin1Char('0'))
                   .arg(sector % 75, 2, 10, QLatin1Char('0'))
                   .toLatin1();
        for (int n = 0; n < std::abs(sectors[t]); ++n, ++sector) {
            for (int i = 0; i < FramesPerSector; ++i) {
                const auto left = qint16(audio ? sector : 0x55);
                const auto right = qint16(audio ? i + TrackOffset : 0x55);
                bin.append(char(left & 0xFF)).append(char((left >> 8) & 0xFF));
                bin.append(char(right & 0xFF)).append(char((right >> 8) & 0xFF));
            }
        }
    }
    QFile b(dir + QLatin1String("/disc.bin"));
    if (!b.open(QIODevice::WriteOnly) || b.write(bin) != bin.size())
        return {};
    QFile c(dir + QLatin1String("/disc.cue"));
    if (!c.open(QIODevice::WriteOnly) || c.write(cue) != cue.size())
        return {};
    return c.fileName();
}

/// Every frame of all captures in order; fails unless they run on without a gap from the
/// first frame of `firstSector` to the last frame before `endSector`. Silence the player put
/// in while its reader fell behind (on a busy machine, at a clock running faster than real
/// time) is left out: no frame of the disc is silent on both sides.
void verifyContinuous(const CapturingAudioOutput& output, int firstSector, int endSector)
{
    std::vector<std::int16_t> all;
    std::size_t silent = 0;
    for (const auto& c : output.captures()) {
        for (std::size_t f = 0; f + 1 < c->samples.size(); f += 2) {
            if (c->samples[f] == 0 && c->samples[f + 1] == 0)
                ++silent;
            else
                all.insert(all.end(), {c->samples[f], c->samples[f + 1]});
        }
    }
    if (silent > 0)
        qInfo("%zu frames of silence while the reader fell behind", silent);
    const std::size_t frames = all.size() / 2;
    QCOMPARE(qint64(frames), qint64(endSector - firstSector) * FramesPerSector);
    for (std::size_t f = 0; f < frames; ++f) {
        const Frame got = frameAt(all, f);
        const int sector = firstSector + int(f / FramesPerSector);
        const int index = int(f % FramesPerSector);
        if (got.sector != sector || got.index != index)
            QFAIL(qPrintable(QStringLiteral("frame %1 holds sector %2:%3, expected %4:%5")
                                 .arg(f)
                                 .arg(got.sector)
                                 .arg(got.index)
                                 .arg(sector)
                                 .arg(index)));
    }
}

class Listener : public CDStateListener {
public:
    void CDStateChanged(TCDState state) override { reports << state; }
    QList<TCDState> reports;
};

MCIERROR status(MCIDEVICEID id, quint32 item, quint32& value, quint32 flags = 0, quint32 track = 0)
{
    MCI_STATUS_PARMS p;
    p.dwItem = item;
    p.dwTrack = track;
    const MCIERROR e = mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM | flags, &p);
    value = p.dwReturn;
    return e;
}

quint32 mode(MCIDEVICEID id)
{
    quint32 m = 0;
    return status(id, MCI_STATUS_MODE, m) == 0 ? m : 0;
}

/// Reads the image through a real drive object, but can hang in a sector as a damaged disc
/// does while its retries run (until the gate opens), or fail for good at a sector.
class TroubledReader : public CdSectorReader {
public:
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<int> stuck{0};

        bool isOpen()
        {
            const std::lock_guard lock(mutex);
            return open;
        }

        void release()
        {
            {
                const std::lock_guard lock(mutex);
                open = true;
            }
            opened.notify_all();
        }
    };

    TroubledReader(const QString& source, int hangAfter, int failAfter, std::shared_ptr<Gate> gate)
        : m_hangAfter(hangAfter)
        , m_failAfter(failAfter)
        , m_gate(std::move(gate))
    {
        CdDrive::OpenResult result{};
        m_drive = CdDrive::open(source, result);
    }

    bool startAudio(qint32 sector) override { return m_drive && m_drive->startAudio(sector); }

    bool readAudioSector(std::int16_t* out) override
    {
        if (m_read == m_failAfter)
            return false;
        if (m_read == m_hangAfter && m_gate) {
            ++m_gate->stuck;
            std::unique_lock lock(m_gate->mutex);
            m_gate->opened.wait(lock, [&] { return m_gate->open; });
        }
        ++m_read;
        return m_drive->readAudioSector(out);
    }

private:
    std::unique_ptr<CdDrive> m_drive;
    int m_hangAfter;
    int m_failAfter;
    int m_read = 0;
    std::shared_ptr<Gate> m_gate;
};

} // namespace

class TestCdAudio : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cue;
    std::unique_ptr<CapturingAudioOutput> m_output;
    std::unique_ptr<QObject> m_owner;
    Listener m_listener;

    void useOutput(double speed)
    {
        Mci::reset();
        m_output = std::make_unique<CapturingAudioOutput>(speed);
        registerCdAudioDevice(*m_output);
    }

    std::unique_ptr<TCDPlayer> makePlayer() { return std::make_unique<TCDPlayer>(0, *m_owner, m_listener); }

    static QString constructionError()
    {
        QObject owner;
        Listener listener;
        try {
            TCDPlayer player(0, owner, listener);
        } catch (const GeneralError& e) {
            return e.message();
        }
        return QStringLiteral("(opened)");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Tracks of 2, 3 and 2 seconds: track 2 is sectors 150 to 374.
        m_cue = writeImage(m_dir.path(), {150, 225, 150});
        QVERIFY(!m_cue.isEmpty());
    }

    void init()
    {
        qputenv("SONAVEX_CDAUDIO", m_cue.toUtf8());
        useOutput(8.0);
        m_owner = std::make_unique<QObject>();
        m_listener.reports.clear();
        LastReportedState = TCDState::cdDoorOpen;
    }

    void cleanup()
    {
        m_owner.reset();
        Mci::reset();
        m_output.reset();
    }

    void shouldOpenTheImageAndDescribeItsDisc()
    {
        auto player = makePlayer();
        QCOMPARE(player->State, TCDState::cdStopped);
        QCOMPARE(player->TrackCount(), 3);
        QCOMPARE(player->Position(), MCI_MAKE_TMSF(1, 0, 0, 0));

        quint32 value = 0;
        QCOMPARE(status(player->DeviceID, MCI_STATUS_LENGTH, value, MCI_TRACK, 2), 0u);
        QCOMPARE(value, MCI_MAKE_MSF(0, 3, 0));
        QCOMPARE(status(player->DeviceID, MCI_STATUS_POSITION, value, MCI_TRACK, 3), 0u);
        QCOMPARE(value, MCI_MAKE_TMSF(3, 0, 0, 0));
        QCOMPARE(status(player->DeviceID, MCI_STATUS_POSITION, value, MCI_TRACK, 4), MCIERR_CD_NO_SUCH_TRACK);

        MCI_GETDEVCAPS_PARMS caps;
        caps.dwItem = MCI_GETDEVCAPS_CAN_EJECT;
        QCOMPARE(mciSendCommandA(player->DeviceID, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, &caps), 0u);
        QCOMPARE(caps.dwReturn, 0u); // an image has no tray
        caps.dwItem = MCI_GETDEVCAPS_CAN_PLAY;
        QCOMPARE(mciSendCommandA(player->DeviceID, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, &caps), 0u);
        QCOMPARE(caps.dwReturn, 1u);
    }

    void shouldPlayExactlyOneTrackAndStopAtItsEnd()
    {
        auto player = makePlayer();
        QElapsedTimer clock;
        clock.start();
        player->PlayTrack(2);
        QCOMPARE(player->State, TCDState::cdPlaying);
        QVERIFY(player->PollTimer->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(mode(player->DeviceID), MCI_MODE_STOP, 3000);
        const qint64 playedMs = clock.elapsed();
        verifyContinuous(*m_output, 150, 375);
        QVERIFY(m_output->captures().front()->finished);
        qInfo("3 s track at 8x real time took %lld ms to play and end", playedMs);

        // The poll sees the end by itself and tells the main window.
        QTRY_COMPARE_WITH_TIMEOUT(m_listener.reports, QList<TCDState>{TCDState::cdStopped}, 2500);
        QCOMPARE(player->State, TCDState::cdStopped);
        QVERIFY(!player->PollTimer->isActive());
        // The device stands at the start of the next track.
        QCOMPARE(player->Position(), MCI_MAKE_TMSF(3, 0, 0, 0));
    }

    void positionTextShouldAdvanceWithinTheTrack()
    {
        useOutput(1.0);
        auto player = makePlayer();
        player->PlayTrack(2);
        QCOMPARE(player->PositionText(), QStringLiteral("00:00"));
        QCOMPARE(MCI_TMSF_TRACK(player->Position()), quint8(2));
        QTRY_COMPARE_WITH_TIMEOUT(player->PositionText(), QStringLiteral("00:01"), 1500);
        player->Stop();
        QCOMPARE(player->State, TCDState::cdStopped);
        const quint32 stoppedAt = player->Position();
        QCOMPARE(MCI_TMSF_TRACK(stoppedAt), quint8(2));
        QCOMPARE(MCI_TMSF_SECOND(stoppedAt), quint8(1));
        QTest::qWait(100);
        QCOMPARE(player->Position(), stoppedAt);
        QVERIFY(m_output->captures().front()->stopped);
    }

    void resumeShouldContinueFromThePausePoint()
    {
        useOutput(4.0);
        auto player = makePlayer();
        player->PlayTrack(2);
        QTest::qWait(150);
        player->Pause();
        QCOMPARE(player->State, TCDState::cdPaused);
        QVERIFY(!player->PollTimer->isActive());
        const quint32 pausedAt = player->Position();
        QTest::qWait(100);
        QCOMPARE(player->Position(), pausedAt);
        QVERIFY(MCI_TMSF_SECOND(pausedAt) > 0 || MCI_TMSF_FRAME(pausedAt) > 0);

        player->PlayTrack(0);
        QCOMPARE(player->State, TCDState::cdPlaying);
        QTRY_COMPARE_WITH_TIMEOUT(mode(player->DeviceID), MCI_MODE_STOP, 3000);
        verifyContinuous(*m_output, 150, 375);
    }

    void playWithoutStartAfterPauseShouldTakeANewEnd()
    {
        auto player = makePlayer();
        player->PlayTrack(2);
        QTest::qWait(100);
        player->Pause();
        // Up to the end of the disc this time: a fresh read from the exact pause point.
        MCI_PLAY_PARMS play;
        QCOMPARE(mciSendCommandA(player->DeviceID, MCI_PLAY, 0, &play), 0u);
        QTRY_COMPARE_WITH_TIMEOUT(mode(player->DeviceID), MCI_MODE_STOP, 3000);
        QCOMPARE(m_output->captures().size(), 2);
        verifyContinuous(*m_output, 150, 525);
    }

    void positionsShouldFollowTheTimeFormat()
    {
        MCI_OPEN_PARMS open;
        open.lpstrDeviceType = "cdaudio";
        QCOMPARE(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, &open), 0u);
        const MCIDEVICEID id = open.wDeviceID;
        const auto setFormat = [id](quint32 format) {
            MCI_SET_PARMS set;
            set.dwTimeFormat = format;
            return mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, &set);
        };
        const auto seek = [id](quint32 flags, quint32 to) {
            MCI_SEEK_PARMS p;
            p.dwTo = to;
            return mciSendCommandA(id, MCI_SEEK, flags, &p);
        };
        quint32 value = 0;

        // One second into track 2 is sector 225.
        QCOMPARE(setFormat(MCI_FORMAT_TMSF), 0u);
        QCOMPARE(seek(MCI_TO, MCI_MAKE_TMSF(2, 0, 1, 0)), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION, value), 0u);
        QCOMPARE(value, MCI_MAKE_TMSF(2, 0, 1, 0));
        QCOMPARE(status(id, MCI_STATUS_CURRENT_TRACK, value), 0u);
        QCOMPARE(value, 2u);
        QCOMPARE(setFormat(MCI_FORMAT_MSF), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION, value), 0u);
        QCOMPARE(value, MCI_MAKE_MSF(0, 5, 0)); // two seconds of lead-in before sector 0
        QCOMPARE(setFormat(MCI_FORMAT_MILLISECONDS), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION, value), 0u);
        QCOMPARE(value, 3000u);
        QCOMPARE(setFormat(9), MCIERR_BAD_TIME_FORMAT);

        QCOMPARE(setFormat(MCI_FORMAT_TMSF), 0u);
        QCOMPARE(seek(MCI_SEEK_TO_END, 0), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION, value), 0u);
        QCOMPARE(value, MCI_MAKE_TMSF(3, 0, 2, 0));
        QCOMPARE(seek(MCI_TO, MCI_MAKE_TMSF(3, 5, 0, 0)), MCIERR_OUTOFRANGE);
        QCOMPARE(seek(MCI_SEEK_TO_START | MCI_SEEK_TO_END, 0), MCIERR_FLAGS_NOT_COMPATIBLE);

        MCI_PLAY_PARMS play;
        play.dwFrom = MCI_MAKE_TMSF(3, 0, 0, 0);
        play.dwTo = MCI_MAKE_TMSF(2, 0, 0, 0);
        QCOMPARE(mciSendCommandA(id, MCI_PLAY, MCI_FROM | MCI_TO, &play), MCIERR_OUTOFRANGE);
        MCI_SET_PARMS door;
        QCOMPARE(mciSendCommandA(id, MCI_SET, MCI_SET_DOOR_OPEN, &door), MCIERR_CD_NO_EJECT);
        MCI_GENERIC_PARMS generic;
        QCOMPARE(mciSendCommandA(id, MCI_RECORD, 0, &generic), MCIERR_UNSUPPORTED_FUNCTION);
        QCOMPARE(mciSendCommandA(id, MCI_PAUSE, 0, &generic), 0u); // nothing plays: nothing to do
        QCOMPARE(mode(id), MCI_MODE_STOP);
    }

    void noRequestWaitsForAReaderCaughtInRetries()
    {
        auto gate = std::make_shared<TroubledReader::Gate>();
        // The disc "recovers" after a while, so a request that waits for it fails rather than hangs.
        std::thread recovery([gate] {
            for (int i = 0; i < 150 && !gate->isOpen(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            gate->release();
        });
        const auto release = qScopeGuard([&] {
            gate->release();
            recovery.join();
        });
        Mci::reset();
        registerCdAudioDevice(*m_output, [gate](const QString& source) {
            return std::make_shared<TroubledReader>(source, 10, -1, gate);
        });
        QElapsedTimer clock;
        qint64 slowest = 0;
        const auto timed = [&](auto&& request) {
            clock.start();
            request();
            slowest = std::max(slowest, clock.elapsed());
        };
        std::unique_ptr<TCDPlayer> player;
        timed([&] { player = makePlayer(); });
        timed([&] { player->PlayTrack(2); });
        QTRY_COMPARE(gate->stuck.load(), 1);
        timed([&] { QCOMPARE(player->PositionText(), QStringLiteral("00:00")); });
        timed([&] { player->Pause(); });
        timed([&] { player->PlayTrack(0); });
        timed([&] { player->PlayTrack(3); }); // a new play while the last reader still hangs
        QTRY_COMPARE(gate->stuck.load(), 2);
        timed([&] { player->Stop(); });
        timed([&] { player->PlayTrack(1); });
        timed([&] { player.reset(); }); // stop and close
        QVERIFY2(slowest < 50, qPrintable(QStringLiteral("a request took %1 ms").arg(slowest)));
    }

    void aTrackThatCannotBeReadToItsEndIsReportedOnce()
    {
        Mci::reset();
        registerCdAudioDevice(*m_output, [](const QString& source) {
            return std::make_shared<TroubledReader>(source, -1, 60, nullptr);
        });
        RecordingErrorReporter errors;
        auto player = makePlayer();
        player->PlayTrack(2);
        QTRY_COMPARE_WITH_TIMEOUT(m_listener.reports, QList<TCDState>{TCDState::cdStopped}, 4000);
        QCOMPARE(errors.messages, QStringList{QStringLiteral(
                                      "The disc cannot be read to the end of the track; it was stopped where "
                                      "reading failed")});
        // The sound ran up to the sector that failed, and no further.
        verifyContinuous(*m_output, 150, 210);
    }

    void shouldRefuseTracksNotOnTheDisc()
    {
        auto player = makePlayer();
        try {
            player->PlayTrack(4);
            QFAIL("track 4 should not play");
        } catch (const GeneralError& e) {
            QCOMPARE(e.message(), QStringLiteral("The specified track is not on the disc"));
        }
        QCOMPARE(player->State, TCDState::cdStopped);
    }

    void shouldReportAMissingSoundOutput()
    {
        auto player = makePlayer();
        m_output->failStart = true;
        QVERIFY_THROWS_EXCEPTION(GeneralError, player->PlayTrack(1));
        QCOMPARE(mode(player->DeviceID), MCI_MODE_STOP);
        player->PlayTrack(1);
        QCOMPARE(player->State, TCDState::cdPlaying);
    }

    void shouldFailToOpenWithAClearText_data()
    {
        QTest::addColumn<QString>("file"); // written into the temporary folder, or a path
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text");
        QTest::newRow("garbage cue") << QStringLiteral("bad.cue") << QByteArray("this is no cue sheet\n")
                                     << QStringLiteral("The CD disc image cannot be read");
        QTest::newRow("cue without its bin")
            << QStringLiteral("lonely.cue")
            << QByteArray("FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n")
            << QStringLiteral("The CD disc image cannot be read");
        QTest::newRow("missing image")
            << QStringLiteral("nowhere.cue") << QByteArray()
            << QStringLiteral("The CD drive or disc image named by SONAVEX_CDAUDIO does not exist");
        QTest::newRow("no drive there")
            << QStringLiteral("/dev/null") << QByteArray() << QStringLiteral("No CD drive was found");
    }

    void shouldFailToOpenWithAClearText()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, text);
        QString path = file.startsWith(QLatin1Char('/')) ? file : m_dir.filePath(file);
        if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        qputenv("SONAVEX_CDAUDIO", QFile::encodeName(path));
        QCOMPARE(constructionError(), text);
        QVERIFY(Mci::openDevices().isEmpty());
    }

    void shouldFindNoDefaultDriveOnAMachineWithout()
    {
        if (QFile::exists(QStringLiteral("/dev/cdrom")) || QFile::exists(QStringLiteral("/dev/sr0")))
            QSKIP("this machine has a CD drive");
        qunsetenv("SONAVEX_CDAUDIO");
        QCOMPARE(constructionError(), QStringLiteral("No CD drive was found"));
        QCOMPARE(CdromCatalog(QString()).trackCount(), 0);
    }

    void catalogShouldNameTheAudioTracks()
    {
        CdromCatalog catalog(m_cue);
        QCOMPARE(catalog.trackCount(), 3);
        QCOMPARE(catalog.trackFiles(),
                 (QStringList{QStringLiteral("cdda://Track01.cda"), QStringLiteral("cdda://Track02.cda"),
                              QStringLiteral("cdda://Track03.cda")}));
        QVERIFY(FileExists(QStringLiteral("cdda://Track03.cda"), catalog));
        QVERIFY(FileExists(QStringLiteral("CDDA://track02.CDA"), catalog));
        QVERIFY(!FileExists(QStringLiteral("cdda://Track04.cda"), catalog));
        QVERIFY(!FileExists(QStringLiteral("cdda://Track00.cda"), catalog));

        const CdromCatalog nothing(m_dir.filePath(QStringLiteral("nowhere.cue")));
        QCOMPARE(nothing.trackCount(), 0);
        QVERIFY(!FileExists(QStringLiteral("cdda://Track01.cda"), nothing));
    }

    void catalogShouldKeepItsTableOfContentsBriefly()
    {
        QTemporaryDir dir;
        const QString cue = writeImage(dir.path(), {75, 75});
        CdromCatalog catalog(cue, 60000);
        QCOMPARE(catalog.trackCount(), 2);
        QVERIFY(QFile::remove(cue));
        QVERIFY(FileExists(QStringLiteral("cdda://Track02.cda"), catalog));
        catalog.invalidate();
        QVERIFY(!FileExists(QStringLiteral("cdda://Track02.cda"), catalog));

        CdromCatalog shortLived(m_cue, 50);
        QCOMPARE(shortLived.trackCount(), 3);
        QVERIFY(writeImage(m_dir.path(), {150, 225}) == m_cue);
        QTRY_COMPARE_WITH_TIMEOUT(shortLived.trackCount(), 2, 1000);
        QVERIFY(writeImage(m_dir.path(), {150, 225, 150}) == m_cue);
    }

    void mixedModeDiscShouldKeepDataOutOfPlayAndNames()
    {
        QTemporaryDir dir;
        const QString cue = writeImage(dir.path(), {-150, 150, 150});
        QVERIFY(!cue.isEmpty());
        CdromCatalog catalog(cue);
        QCOMPARE(catalog.trackFiles(),
                 (QStringList{QStringLiteral("cdda://Track02.cda"), QStringLiteral("cdda://Track03.cda")}));
        QVERIFY(!FileExists(QStringLiteral("cdda://Track01.cda"), catalog));

        qputenv("SONAVEX_CDAUDIO", QFile::encodeName(cue));
        auto player = makePlayer();
        QVERIFY_THROWS_EXCEPTION(GeneralError, player->PlayTrack(1));
        player->PlayTrack(3);
        QTRY_COMPARE_WITH_TIMEOUT(mode(player->DeviceID), MCI_MODE_STOP, 3000);
        verifyContinuous(*m_output, 300, 450);
    }
};

QTEST_GUILESS_MAIN(TestCdAudio)
#include "tst_cdaudio.moc"
