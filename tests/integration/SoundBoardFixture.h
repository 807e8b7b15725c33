// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SinkRecorder.h"
#include "app/frmMain.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDriveList.h"
#include "fakes/MediaFiles.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"

#include <QTest>

#include <cmath>
#include <memory>

/// The show and its real main window on the test audio server, over a song store of the test's own, with a
/// recorder at the null sink's monitor and the error boxes caught. In initTestCase:
/// `startSound()`, then the test's songs written and put in a store, then `openBoard(store)`;
/// in cleanupTestCase `stopSound()`. Both report a failure through QTest and leave the rest
/// undone, so the caller returns when QTest::currentTestFailed().
struct SoundBoardFixture : StoreFixture {
    std::unique_ptr<PulseAudioEngine> m_engine;
    std::unique_ptr<MediaPlayerControl> m_player;
    std::unique_ptr<SinkRecorder> m_recorder;
    std::unique_ptr<RecordingErrorReporter> m_errors;
    FakeCdTrackCatalog m_cd;
    FakeDriveList m_drives;
    std::unique_ptr<ShowCore> m_core;
    std::unique_ptr<TMainForm> m_form;

    /// A file in the test's own folder.
    [[nodiscard]] QString path(const QString& name) const { return m_env->root() + QLatin1Char('/') + name; }
    /// The show's commands, as every input runs them.
    [[nodiscard]] Board& board() const { return *m_core; }
    /// Nothing plays and nothing is queued.
    [[nodiscard]] bool idle() const
    {
        return m_core->PlayState == TPlayState::psStopped && m_core->PlayQueue.isEmpty();
    }

    void startSound()
    {
        setUpStore(false);
        m_engine = std::make_unique<PulseAudioEngine>(QStringLiteral("sonavex-test"));
        QVERIFY2(m_engine->waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        m_player = std::make_unique<MediaPlayerControl>(*m_engine);
        m_recorder = std::make_unique<SinkRecorder>(*m_engine);
        m_errors = std::make_unique<RecordingErrorReporter>();
    }

    /// The show over `store` with the first songs of its sheet decoded ahead, and its window
    /// shown unless a remote runs the show alone.
    void openBoard(std::unique_ptr<TSongInfo> store, bool window = true, SongPreview* preview = nullptr,
                   LayerPlayers* layers = nullptr)
    {
        m_core = std::make_unique<ShowCore>(
            ShowServices{*m_registry, *m_player, m_cd, nullptr, nullptr, preview, layers}, std::move(store));
        if (window) {
            m_form = std::make_unique<TMainForm>(*m_core, m_dialogs, m_drives);
            m_form->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        }
        QVERIFY(m_player->waitHotListWarm(5000));
    }

    /// The show a remote runs alone, with no window: "Song A", `secondsA` of the tone `hzA`, and
    /// "Song B", 0.8 s of `hzB`, in the first two slots of the first sheet.
    void openRemoteShow(double hzA, double secondsA, double hzB)
    {
        QVERIFY(MediaFiles::writeWav(path(QStringLiteral("a.wav")), MediaFiles::tone(hzA, secondsA)));
        QVERIFY(MediaFiles::writeWav(path(QStringLiteral("b.wav")), MediaFiles::tone(hzB, 0.8)));
        auto store = openStore();
        store->SetSong(0, 0, makeSong(QStringLiteral("Song A"), 0, 0, path(QStringLiteral("a.wav"))));
        store->SetSong(0, 1, makeSong(QStringLiteral("Song B"), 0, 1, path(QStringLiteral("b.wav"))));
        openBoard(std::move(store), false);
    }

    /// A port from `first` on that a `Server` of the board could listen on a moment ago.
    template <typename Server> [[nodiscard]] quint16 freePort(quint16 first) const
    {
        Server any(board());
        quint16 port = first;
        while (port < first + 100 && !any.listen({port, false, QString()}))
            ++port;
        return port;
    }

    /// The tone at the level it was written with (amplitude 0.5, -6.02 dB), give or take 1.5 dB.
    [[nodiscard]] static bool heardTone(const std::vector<std::int16_t>& samples, double hz)
    {
        return std::abs(SinkRecorder::toneDb(samples, hz) - -6.02) < 1.5;
    }

    void stopSound()
    {
        m_form.reset();
        m_core.reset();
        m_recorder.reset();
        m_player.reset();
        m_errors.reset();
        m_engine.reset();
        tearDownStore();
    }
};
