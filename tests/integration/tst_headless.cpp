// SPDX-License-Identifier: GPL-3.0-or-later
// The board run as "sonavex --headless", as a service starts it: no display of any kind, its own
// settings folder, OSC turned on in the stored settings. A press over OSC is heard at the null
// sink, a second start is refused, and SIGTERM ends the show as Exit does, saving what it holds.
#include "SinkRecorder.h"
#include "app/RemoteSettings.h"
#include "audio/PulseAudioEngine.h"
#include "fakes/FakeDialogs.h"
#include "fakes/MediaFiles.h"
#include "fakes/OscClient.h"
#include "fakes/SongFixtures.h"
#include "platform/IniRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
constexpr double Hz = 1234.0;
constexpr double ToneDb = -6.02;
} // namespace

class TestHeadless : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    std::unique_ptr<PulseAudioEngine> m_engine;
    std::unique_ptr<SinkRecorder> m_recorder;
    quint16 m_port = 0;

    [[nodiscard]] QString configDir() const { return m_home.path() + QLatin1String("/config"); }
    [[nodiscard]] QString infoPath() const { return m_home.path() + QLatin1String("/data/songs.inf"); }

    /// Starts the board; true once it says that OSC listens on the test's port.
    bool start(QProcess& board, QByteArray& said)
    {
        board.setProcessEnvironment(m_env);
        board.start(QStringLiteral(SONAVEX_BINARY), {QStringLiteral("--headless")});
        if (!board.waitForStarted(5000))
            return false;
        const QByteArray listens = "OSC on UDP port " + QByteArray::number(m_port);
        QElapsedTimer clock;
        clock.start();
        while (!said.contains(listens) && board.state() == QProcess::Running && clock.elapsed() < 15000) {
            board.waitForReadyRead(200);
            said += board.readAllStandardError();
        }
        return said.contains(listens);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_engine = std::make_unique<PulseAudioEngine>(QStringLiteral("sonavex-test"));
        QVERIFY2(m_engine->waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        m_recorder = std::make_unique<SinkRecorder>(*m_engine);

        // Nothing the board could draw on: no display, no platform plugin named.
        m_env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"})
            m_env.remove(QLatin1String(name));
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QLatin1String("/data"));
        m_env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path() + QLatin1String("/cache"));
        m_env.insert(QStringLiteral("SONAVEX_CDAUDIO"), m_home.path() + QLatin1String("/no-such-disc.cue"));

        // The song file with a tone on sheet 1, slot 1, and OSC on a port free a moment ago.
        const QString wav = m_home.path() + QLatin1String("/tone.wav");
        QVERIFY(MediaFiles::writeWav(wav, MediaFiles::tone(Hz, 1.5)));
        QVERIFY(QDir().mkpath(m_home.path() + QLatin1String("/data")));
        IniRegistry registry(configDir());
        QVERIFY(registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true));
        registry.WriteString(QStringLiteral("InfoPath"), infoPath());
        registry.CloseKey();
        {
            FakeDialogs dialogs;
            TSongInfo store(registry, dialogs);
            store.SetSong(0, 0, makeSong(QStringLiteral("Tone"), 0, 0, wav));
        }
        {
            const OscClient probe;
            m_port = probe.port();
        }
        RemoteSettings settings;
        settings.oscPort = m_port;
        settings.save(registry);
    }

    void cleanupTestCase()
    {
        m_recorder.reset();
        m_engine.reset();
    }

    void runsThePressesOfARemoteAndRefusesASecondCopyAndSavesOnSigterm()
    {
        QProcess board;
        QByteArray said;
        QVERIFY2(start(board, said), said.constData());

        // A press over OSC plays at once.
        QTest::qWait(500); // the songs decoded ahead
        OscClient client;
        QVERIFY(client.send(OscPacket::message("/sonavex/sheet/1/button/1/press"), m_port));
        const auto heard = m_recorder->during(600, 150);
        said += board.readAllStandardError();
        QVERIFY2(std::abs(SinkRecorder::toneDb(heard, Hz) - ToneDb) < 1.5,
                 qPrintable(QString::number(SinkRecorder::toneDb(heard, Hz)) + QLatin1Char(' ') +
                            QString::fromUtf8(said)));

        // A second board on the same settings folder would save over the first one's.
        QProcess second;
        second.setProcessEnvironment(m_env);
        second.start(QStringLiteral(SONAVEX_BINARY), {QStringLiteral("--headless")});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("Sonavex runs already."));

        // SIGTERM ends the show as Exit does: the sheet names are stored, the song file written.
        QFile::remove(infoPath());
        board.terminate();
        QVERIFY2(board.waitForFinished(10000), "SIGTERM did not end the board");
        said += board.readAllStandardError();
        QCOMPARE(board.exitStatus(), QProcess::NormalExit);
        QVERIFY2(board.exitCode() == 0, said.constData());
        IniRegistry registry(configDir());
        QVERIFY(registry.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), false));
        QCOMPARE(registry.ReadString(QStringLiteral("Tab0")), QStringLiteral("Music Sheet 1"));
        QVERIFY(QFileInfo::exists(infoPath()));
        FakeDialogs dialogs;
        const TSongInfo songs(registry, dialogs);
        QCOMPARE(songs.title(0, 0), QStringLiteral("Tone"));
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
