// SPDX-License-Identifier: GPL-3.0-or-later
// A controller played over a JACK server's MIDI ports (scripts/start-test-jack): a test client
// with a virtual output (the pads) and a virtual input (their lights) stands in for it. Its
// note is heard at the null sink, and the lights it is sent are checked byte for byte at each
// change of the board.
#include "SoundBoardFixture.h"
#include "app/MidiControl.h"
#include "fakes/MediaFiles.h"
#include "fakes/SongFixtures.h"
#include "midi/MidiDevices.h"
#include "platform/IniRegistry.h"

#include <QDir>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>

#include <RtMidi.h>

using namespace MediaFiles;

namespace {
constexpr double HzA = 1234.0;
constexpr double ToneDb = -6.02;

/// The controller: pads that send notes, and lights that keep what they were sent.
class TestPad {
public:
    TestPad()
        : m_pads(RtMidi::UNIX_JACK, "TestPad")
        , m_lights(RtMidi::UNIX_JACK, "TestPad")
    {
        m_pads.openVirtualPort("pads");
        m_lights.ignoreTypes(false, true, true);
        m_lights.setCallback(&TestPad::lit, this);
        m_lights.openVirtualPort("lights");
    }

    void play(std::vector<unsigned char> message) { m_pads.sendMessage(&message); }
    void unplug() { m_pads.closePort(); }
    void plugIn() { m_pads.openVirtualPort("pads"); }

    /// What the lights were sent since the last take, as hex.
    QByteArray take()
    {
        QMutexLocker locker(&m_lock);
        return std::exchange(m_received, {}).toHex(' ');
    }

private:
    static void lit(double, std::vector<unsigned char>* message, void* self)
    {
        auto* pad = static_cast<TestPad*>(self);
        QMutexLocker locker(&pad->m_lock);
        pad->m_received.append(reinterpret_cast<const char*>(message->data()),
                               static_cast<qsizetype>(message->size()));
    }

    RtMidiOut m_pads;
    RtMidiIn m_lights;
    QMutex m_lock;
    QByteArray m_received;
};
} // namespace

class TestMidiPlayback : public QObject, SoundBoardFixture {
    Q_OBJECT

    std::unique_ptr<TestPad> m_pad;
    std::unique_ptr<MidiControl> m_midi;

    /// The lights' bytes since the last check are `expected` (a wrong byte or one too many fails).
    void expectLights(const QByteArray& expected)
    {
        QByteArray got;
        const auto more = [&] {
            if (const QByteArray t = m_pad->take(); !t.isEmpty())
                got += (got.isEmpty() ? QByteArray() : QByteArray(" ")) + t;
            return got.size() >= expected.size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(more(), 2000);
        QTest::qWait(30);
        more();
        QCOMPARE(got, expected);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("SONAVEX_MIDI", "jack");
        startSound();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(writeWav(path(QStringLiteral("a.wav")), tone(HzA, 1.5)));
        QVERIFY(writeWav(path(QStringLiteral("b.wav")), tone(HzA, 1.5)));
        QVERIFY(writeWav(path(QStringLiteral("c.wav")), tone(HzA, 1.5)));
        auto store = openStore();
        store->SetSong(0, 0, makeSong(QStringLiteral("Song A"), 0, 0, path(QStringLiteral("a.wav"))));
        store->SetSong(0, 1, makeSong(QStringLiteral("Song B"), 0, 1, path(QStringLiteral("b.wav"))));
        store->SetSong(1, 0, makeSong(QStringLiteral("Song C"), 1, 0, path(QStringLiteral("c.wav"))));
        openBoard(std::move(store), false); // no window: the remote runs the show alone
        if (QTest::currentTestFailed())
            return;

        // Pads 36..38 on buttons 1 and 2 of the first sheet and button 1 of the second, as stored.
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\Midi"), true);
        m_registry->WriteString(QStringLiteral("note 1 36"), QStringLiteral("0,0"));
        m_registry->WriteString(QStringLiteral("note 1 37"), QStringLiteral("0,1"));
        m_registry->WriteString(QStringLiteral("note 1 38"), QStringLiteral("1,0"));
        m_registry->CloseKey();
        // The user's own controller file.
        const QString folder = m_env->dataDir() + QStringLiteral("/Sonavex/controllers");
        QVERIFY(QDir().mkpath(folder));
        QFile profile(folder + QStringLiteral("/testpad.json"));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(
            R"({"name": "Test pad", "match": "TestPad", "init": "F0 7D 01 F7", "exit": "F0 7D 00 F7",
                          "colours": {"playing": 21, "next": 13, "queued": 5, "filled": 1, "empty": 0},
                          "pads": "36-38"})");
        profile.close();

        try {
            m_pad = std::make_unique<TestPad>();
        } catch (const RtMidiError& e) {
            QFAIL(qPrintable(QStringLiteral("no JACK server (eval \"$(scripts/start-test-jack)\"): %1")
                                 .arg(QString::fromStdString(e.getMessage()))));
        }
        m_midi = std::make_unique<MidiControl>(m_core.get(), board(), *m_registry);
        m_midi->start();
        QVERIFY2(m_midi->devices().running(), qPrintable(m_midi->aboutNote()));
    }

    void cleanupTestCase()
    {
        m_midi.reset();
        m_pad.reset();
        stopSound();
    }

    /// Whatever a test left playing or lit stops before the next.
    void cleanup()
    {
        board().stopAll();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        QTest::qWait(50);
        m_pad->take();
    }

    void theControllerIsFoundAndLit()
    {
        QTRY_VERIFY(m_midi->devices().inputs().contains(QStringLiteral("TestPad:pads")));
        expectLights("f0 7d 01 f7 90 24 01 90 25 01 90 26 00");
    }

    void aPadIsHeardAndEachChangeLightsThePads()
    {
        m_pad->play({0x90, 36, 1}); // the softest hit
        const auto heard = m_recorder->during(400, 100);
        // Heard: its level is the player's business, checked by the playback tests.
        QVERIFY2(SinkRecorder::toneDb(heard, HzA) > ToneDb - 6,
                 qPrintable(QString::number(SinkRecorder::toneDb(heard, HzA))));
        expectLights("90 24 15");

        board().queue(0, 1, PressedBy::Midi);
        expectLights("90 25 0d");
        board().stopAll();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
        expectLights("90 24 01 90 25 01");

        board().queue(0, 1, PressedBy::Midi);
        expectLights("90 25 05");
        board().queue(0, 1, PressedBy::Midi);
        expectLights("90 25 01");
    }

    void aNoteOffAndAnUnassignedNoteDoNothing()
    {
        m_pad->play({0x90, 36, 0});
        m_pad->play({0x90, 50, 100});
        QTest::qWait(200);
        QVERIFY(idle());
        QCOMPARE(m_pad->take(), QByteArray());
    }

    void thePadsFollowTheShownSheet()
    {
        board().showSheet(1);
        expectLights("90 24 00 90 25 00 90 26 01");
        board().showSheet(0);
        expectLights("90 24 01 90 25 01 90 26 00");
    }

    void anUnpluggedControllerIsSaidOnceAndFoundAgain()
    {
        QSignalSpy news(m_midi.get(), &MidiControl::news);
        m_pad->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(news.size(), 1, 2 * MidiDevices::PollMs + 500);
        QVERIFY(news.at(0).at(0).toString().contains(QStringLiteral("unplugged")));
        // Its lights went with it: nothing more is sent there, and the board plays on.
        board().press(0, 0, PressedBy::Midi);
        QTRY_VERIFY(m_core->PlayState == TPlayState::psPlaying);
        board().stopAll();
        QTest::qWait(3 * MidiDevices::PollMs / 2);
        QCOMPARE(news.size(), 1);

        // Plugged in again: found, said, and lit from the start.
        m_pad->take();
        m_pad->plugIn();
        QTRY_COMPARE_WITH_TIMEOUT(news.size(), 2, 2 * MidiDevices::PollMs + 500);
        QVERIFY(news.at(1).at(0).toString().contains(QStringLiteral("found")));
        expectLights("f0 7d 01 f7 90 24 01 90 25 01 90 26 00");
    }
};

QTEST_MAIN(TestMidiPlayback)
#include "tst_midiplayback.moc"
