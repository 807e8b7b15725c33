// SPDX-License-Identifier: GPL-3.0-or-later
// The preview on the test audio server: heard on its own output, never on the show's.
#include "MonitorRecorder.h"
#include "SecondOutput.h"
#include "audio/PreviewStream.h"
#include "audio/PulseAudioEngine.h"
#include "fakes/MediaFiles.h"
#include "platform/Errors.h"

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
};

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
