// SPDX-License-Identifier: GPL-3.0-or-later
// Sounds over the show's song, heard at the null sink through the real core, players and engine:
// a button that ducks dips the show's song by its decibels and lets it back up when it ends, the
// master level lowers both, and Fade All fades both.
#include "SoundBoardFixture.h"
#include "audio/LayerOutputs.h"

#include <QSignalSpy>

namespace {
constexpr double ShowHz = 440.0;
constexpr double LayerHz = 1500.0;
constexpr double DuckDb = 12.0;
} // namespace

class TestLayerSound : public QObject, SoundBoardFixture {
    Q_OBJECT

    std::unique_ptr<LayerOutputs> m_layers;

    /// The level of `hz` over the next `msecs`.
    double heard(double hz, int msecs = 300) { return SinkRecorder::toneDb(m_recorder->during(msecs), hz); }

private Q_SLOTS:
    void initTestCase()
    {
        startSound();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(MediaFiles::writeWav(path(QStringLiteral("show.wav")), MediaFiles::tone(ShowHz, 12.0, 0.25)));
        QVERIFY(
            MediaFiles::writeWav(path(QStringLiteral("voice.wav")), MediaFiles::tone(LayerHz, 12.0, 0.25)));
        auto store = openStore();
        store->SetSong(0, 0, makeSong(QStringLiteral("Music"), 0, 0, path(QStringLiteral("show.wav"))));
        store->SetSong(0, 1, makeSong(QStringLiteral("Voice"), 0, 1, path(QStringLiteral("voice.wav"))));
        ButtonSettings voice;
        voice.layer = true;
        voice.duckDb = DuckDb;
        store->setButtonSettings(0, 1, voice);
        m_layers = std::make_unique<LayerOutputs>(*m_engine, nullptr, *m_player);
        openBoard(std::move(store), false, nullptr, m_layers.get());
    }

    void cleanupTestCase()
    {
        m_core.reset();
        m_layers.reset();
        stopSound();
    }

    void duckingMasterAndFadeAllAreHeard()
    {
        board().press(0, 0, PressedBy::Osc);
        QTest::qWait(300);
        const double music = heard(ShowHz);
        QVERIFY2(music > -20.0, qPrintable(QString::number(music)));

        // The voice over the music: the music dips by 12 dB within its 0.3 s, the voice does not.
        board().press(0, 1, PressedBy::Osc);
        QCOMPARE(board().playing().size(), 2);
        QTest::qWait(450);
        QVERIFY2(std::abs(heard(ShowHz) - (music - DuckDb)) < 1.0, "the music did not dip by 12 dB");
        const double voice = heard(LayerHz);
        QVERIFY2(std::abs(voice - music) < 1.0, qPrintable(QString::number(voice - music)));

        // The master level lowers both alike.
        board().setMasterLevel(-6);
        QTest::qWait(100);
        QVERIFY(std::abs(heard(ShowHz) - (music - DuckDb - 6)) < 1.0);
        QVERIFY(std::abs(heard(LayerHz) - (voice - 6)) < 1.0);

        // The voice ends: the music comes back up over 1 s, not at once.
        board().stopSound(board().playing().constLast().id);
        const double rising = heard(ShowHz, 200);
        QVERIFY2(rising < music - 6 - 3.0, qPrintable(QString::number(rising - music)));
        QTest::qWait(1000);
        QVERIFY(std::abs(heard(ShowHz) - (music - 6)) < 1.0);

        // Fade All fades the show's song and the layer alike, at the fastest speed 5 dB a half second.
        board().setMasterLevel(0);
        board().press(0, 1, PressedBy::Osc);
        QTest::qWait(500);
        board().fadeAll(1);
        QTest::qWait(1250);
        const double musicFaded = heard(ShowHz, 200) - (music - DuckDb);
        const double voiceFaded = heard(LayerHz, 200) - voice;
        QVERIFY2(musicFaded < -8.0 && musicFaded > -20.0, qPrintable(QString::number(musicFaded)));
        QVERIFY2(voiceFaded < -8.0 && voiceFaded > -20.0, qPrintable(QString::number(voiceFaded)));
        board().stopAll();
        QTRY_VERIFY(board().playing().isEmpty());
    }
};

QTEST_MAIN(TestLayerSound)
#include "tst_layersound.moc"
