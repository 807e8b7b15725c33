// SPDX-License-Identifier: GPL-3.0-or-later
// The preview on the test audio server: heard on its own output, never on the show's; and
// Audition, which turns the operator's own presses into previews.
#include "MonitorRecorder.h"
#include "SecondOutput.h"
#include "SoundBoardFixture.h"
#include "app/PreviewControl.h"
#include "app/RemoteControl.h"
#include "audio/PreviewStream.h"
#include "audio/PulseAudioEngine.h"
#include "controls/Tranbtn.h"
#include "fakes/MediaFiles.h"
#include "fakes/OscClient.h"
#include "platform/Errors.h"
#include "remote/OscServer.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr double Heard = -30.0;
constexpr double Silent = -60.0;
} // namespace

class TestPreview : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_song;

private Q_SLOTS:
    void initTestCase()
    {
        // Silence, then the tone: a preview from 5 s on is heard at once, one from the start not.
        std::vector<std::int16_t> s(static_cast<std::size_t>(5 * 44100 * 2), 0);
        const std::vector<std::int16_t> tone = MediaFiles::tone(440.0, 25.0, 0.3);
        s.insert(s.end(), tone.cbegin(), tone.cend());
        m_song = m_dir.filePath(QStringLiteral("song.wav"));
        QVERIFY(MediaFiles::writeWav(m_song, s));
    }

    void thePreviewIsHeardOnItsOutputAndNeverOnTheShows()
    {
        SecondOutput phones;
        PulseAudioEngine engine(QStringLiteral("sonavex-preview-test"), {},
                                PulseAudioEngine::Routing::ChosenOnly);
        QVERIFY2(engine.waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        PreviewStream preview(engine);

        // None chosen: nothing plays anywhere.
        QVERIFY_THROWS_EXCEPTION(NoAudioOutput, preview.play(m_song, 5.0));
        QVERIFY(!preview.isPlaying());

        QStringList told;
        engine.setOutputMissingHandler([&](const QString& output, bool missing) {
            told << (missing ? output : QStringLiteral("back"));
        });
        engine.setOutputDevice(SecondSink);
        MonitorRecorder onHouse(QStringLiteral("nullsink"));
        MonitorRecorder onPhones(SecondSink);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                preview.play(m_song, 5.0);
                return onPhones.toneDb(400) > Heard;
            }(),
            5000);
        const double house = onHouse.toneDb(500);
        QVERIFY2(house < Silent, qPrintable(QString::number(house)));
        QVERIFY(preview.position() > 5.0 && preview.position() < 8.0);

        // Unplugged under it: the preview stops, said once, and is not rescued to the show's output.
        QSignalSpy stopped(&preview, &PreviewPlayer::stopped);
        phones.unplug();
        QTRY_COMPARE(told, QStringList{SecondDescription});
        QTRY_COMPARE(stopped.count(), 1);
        QVERIFY(!preview.isPlaying());
        QVERIFY(onHouse.toneDb(500) < Silent);
        QVERIFY_THROWS_EXCEPTION(NoAudioOutput, preview.play(m_song, 5.0));
        QVERIFY(onHouse.toneDb(300) < Silent);
        QCOMPARE(told.size(), 1);
    }

    void withAuditionAClickAndAKeyAreHeardOnlyOnThePreviewAndAnOscPressInTheHouse()
    {
        SecondOutput phones;
        SoundBoardFixture show;
        show.startSound();
        if (QTest::currentTestFailed())
            return;
        const auto stop = qScopeGuard([&] { show.stopSound(); });
        PulseAudioEngine previewEngine(QStringLiteral("sonavex-audition-test"), {},
                                       PulseAudioEngine::Routing::ChosenOnly);
        QVERIFY(previewEngine.waitConnected(3000));
        PreviewStream previewStream(previewEngine);
        PreviewControl preview(previewStream, previewEngine, *show.m_registry);
        preview.setOutput(SecondSink);
        QVERIFY(show.m_registry->OpenKey(QStringLiteral("Software\\Brasswold\\Keys"), true));
        show.m_registry->WriteString(QStringLiteral("F1"), QStringLiteral("0,0"));
        const QString song = show.path(QStringLiteral("tone.wav"));
        QVERIFY(MediaFiles::writeWav(song, MediaFiles::tone(440.0, 20.0, 0.3)));
        auto store = show.openStore();
        store->SetSong(0, 0, makeSong(QStringLiteral("Tone"), 0, 0, song));
        show.openBoard(std::move(store), true, &preview);
        if (QTest::currentTestFailed())
            return;
        RemoteSettings settings;
        settings.oscPort = show.freePort<OscServer>(29120);
        settings.save(*show.m_registry);
        RemoteControl remote(*show.m_core, *show.m_registry);
        remote.start();
        QVERIFY(remote.osc().listening());
        show.m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(show.m_form.get()));
        show.m_core->setAudition(true);
        QVERIFY(show.board().audition());

        MonitorRecorder onHouse(QStringLiteral("nullsink"));
        MonitorRecorder onPhones(SecondSink);
        const auto heardOnlyOnPhones = [&](const QString& what) {
            QTRY_VERIFY2_WITH_TIMEOUT(onPhones.toneDb(300) > Heard, qPrintable(what), 3000);
            const double house = onHouse.toneDb(500);
            QVERIFY2(house < Silent,
                     qPrintable(QStringLiteral("%1: %2 dB in the house").arg(what).arg(house)));
            QVERIFY(show.idle());
            show.board().stopSong(); // stops the audition, with nothing in the house
            QTRY_VERIFY_WITH_TIMEOUT(onPhones.toneDb(300) < Silent, 3000);
        };
        QTest::mouseClick(show.m_form->SongButtons[0], Qt::LeftButton);
        heardOnlyOnPhones(QStringLiteral("a click"));
        QTest::keyClick(show.m_form->SongButtons[0], Qt::Key_F1);
        heardOnlyOnPhones(QStringLiteral("a slot key"));

        // An OSC press is somebody else's: it plays in the house, and nothing on the phones.
        OscClient client;
        QVERIFY(client.send(OscPacket::message("/sonavex/sheet/1/button/1/press"), settings.oscPort));
        QTRY_VERIFY_WITH_TIMEOUT(onHouse.toneDb(300) > Heard, 3000);
        QVERIFY(onPhones.toneDb(500) < Silent);
        show.board().stopAll();
        QTRY_VERIFY(show.idle());
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
