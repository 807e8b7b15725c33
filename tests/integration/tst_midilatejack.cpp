// SPDX-License-Identifier: GPL-3.0-or-later
// A JACK server started after the board: MIDI, off at the start without a word, is found at the
// next look, said once, and a controller on that server plays; stopped and started again, it is
// found again. The server is one of the test's own, started and stopped with
// scripts/start-test-jack and scripts/stop-test-jack.
#include "app/MidiControl.h"
#include "fakes/FakeBoard.h"
#include "fakes/TestEnvironment.h"
#include "midi/MidiDevices.h"
#include "platform/IniRegistry.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <RtMidi.h>

class TestMidiLateJack : public QObject {
    Q_OBJECT

    QProcessEnvironment m_serverEnv;

    bool script(const QString& name)
    {
        QProcess run;
        run.setProcessEnvironment(m_serverEnv);
        run.start(QStringLiteral(SONAVEX_SOURCE_DIR "/scripts/") + name, {});
        return run.waitForFinished(15000) && run.exitCode() == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString base = qEnvironmentVariable("SONAVEX_TEST_JACK", QStringLiteral("sonavex-test"));
        const QString late = base + QStringLiteral("-late");
        m_serverEnv = QProcessEnvironment::systemEnvironment();
        m_serverEnv.insert(QStringLiteral("SONAVEX_TEST_JACK"), late);
        m_serverEnv.insert(QStringLiteral("SONAVEX_TEST_JACK_OWNER"),
                           QString::number(QCoreApplication::applicationPid()));
        script(QStringLiteral("stop-test-jack")); // one a crashed run left
        qputenv("JACK_DEFAULT_SERVER", late.toUtf8());
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        qunsetenv("SONAVEX_MIDI");
    }

    void cleanupTestCase() { QVERIFY(script(QStringLiteral("stop-test-jack"))); }

    void aJackServerStartedLaterIsFoundSaidOnceAndPlays()
    {
        TestEnvironment env;
        IniRegistry registry(env.configDir());
        registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\Midi"), true);
        registry.WriteString(QStringLiteral("note 1 36"), QStringLiteral("0,2"));
        registry.CloseKey();
        FakeBoard board;
        MidiControl midi(nullptr, board, registry);
        QSignalSpy news(&midi, &MidiControl::news);
        QElapsedTimer started;
        started.start();
        midi.start();
        qInfo("MIDI started in %lld ms with no JACK server", static_cast<long long>(started.elapsed()));
        const bool alsa = QFileInfo::exists(QStringLiteral("/dev/snd/seq"));
        QCOMPARE(midi.devices().running(), alsa);
        if (!alsa)
            QVERIFY2(midi.aboutNote().contains(QStringLiteral("MIDI is off")), qPrintable(midi.aboutNote()));
        QTest::qWait(MidiDevices::PollMs + 200); // a look without a server: nothing said
        QCOMPARE(news.size(), 0);

        QVERIFY2(script(QStringLiteral("start-test-jack")), "the late JACK server did not start");
        // Asked at one look, answered at the next.
        QTRY_VERIFY_WITH_TIMEOUT(news.size() >= 1, 3 * MidiDevices::PollMs + 1000);
        QVERIFY2(news.at(0).at(0).toString().contains(QStringLiteral("JACK server was found")),
                 qPrintable(news.at(0).at(0).toString()));
        QVERIFY(midi.devices().running());
        QVERIFY(midi.devices().backEnd().contains(QStringLiteral("JACK")));
        QVERIFY2(midi.aboutNote().isEmpty(), qPrintable(midi.aboutNote()));

        // A controller on that server: found, and its pad plays.
        auto pad = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "LatePad");
        pad->openVirtualPort("pads");
        QTRY_VERIFY_WITH_TIMEOUT(midi.devices().inputs().contains(QStringLiteral("LatePad:pads")),
                                 2 * MidiDevices::PollMs + 500);
        // A JACK connection made a moment ago carries messages from a later period on (lost
        // once in five runs when sent at once); the board waits as long before lighting pads.
        QTest::qWait(MidiDevices::LightsAfterMs);
        std::vector<unsigned char> note{0x90, 36, 100};
        pad->sendMessage(&note);
        QTRY_COMPARE(board.commands, QStringList{QStringLiteral("press 0 2")});
        // Said once: later looks find the same server.
        QTest::qWait(MidiDevices::PollMs + 200);
        QCOMPARE(news.size(), 2); // the server, then the controller plugged in

        // The server stops mid-show: said, and one started again is found again. (The pad goes
        // first: libjack mixes up a client left on a stopped server with those of the new one.)
        pad.reset();
        QVERIFY(script(QStringLiteral("stop-test-jack")));
        const auto said = [&](const QString& text) {
            return std::any_of(news.begin(), news.end(),
                               [&](const QList<QVariant>& n) { return n.at(0).toString().contains(text); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(said(QStringLiteral("JACK server stopped")), 2 * MidiDevices::PollMs + 500);
        QVERIFY(midi.devices().inputs().isEmpty());
        const qsizetype before = news.size();
        QVERIFY(script(QStringLiteral("start-test-jack")));
        QTRY_COMPARE_WITH_TIMEOUT(news.size(), before + 1, 3 * MidiDevices::PollMs + 1000);
        QVERIFY2(news.last().at(0).toString().contains(QStringLiteral("JACK server was found")),
                 qPrintable(news.last().at(0).toString()));
    }
};

QTEST_GUILESS_MAIN(TestMidiLateJack)
#include "tst_midilatejack.moc"
