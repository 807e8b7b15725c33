// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ShowCore.h"
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeLayerPlayers.h"
#include "fakes/FakeMediaPlayer.h"
#include "fakes/FakeOutputDevices.h"
#include "fakes/FakeSongPreview.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/SongFixtures.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QFile>

#include <memory>

/// The show over fakes, with no window: songs A, B, C and D in slots 0..3 of the first sheet
/// and A again in slot 4. `setUp()` before each test, `tearDown()` after it.
struct ShowFixture {
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;
    std::unique_ptr<FakeDialogs> m_dialogs; ///< the store's questions; the window's boxes too
    std::unique_ptr<FakeMediaPlayer> m_player;
    std::unique_ptr<FakeCdTrackCatalog> m_cd;
    FakeOutputDevices m_outputs;
    FakeSongPreview m_preview;       ///< the preview output's, given to the show
    FakeLayerPlayers m_layerPlayers; ///< the players of the sounds over the show's song
    std::unique_ptr<RecordingErrorReporter> m_errors;
    std::unique_ptr<ShowCore> m_core;
    QStringList m_files; ///< A, B, C, D in slots 0..3 of sheet 0

    /// Lets queued notifications of the fakes arrive.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    void setUp()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_registry = std::make_unique<IniRegistry>(m_env->configDir());
        m_dialogs = std::make_unique<FakeDialogs>();
        m_player = std::make_unique<FakeMediaPlayer>();
        m_cd = std::make_unique<FakeCdTrackCatalog>();
        m_errors = std::make_unique<RecordingErrorReporter>();
        m_preview.why.clear();
        m_preview.path.clear();
        m_preview.from.reset();
        m_preview.plays = 0;
        m_layerPlayers.reset();
        m_files = {makeFile(QStringLiteral("a.wav")), makeFile(QStringLiteral("b.wav")),
                   makeFile(QStringLiteral("c.wav")), makeFile(QStringLiteral("d.mp3"))};
        openShow(defaultStore());
    }

    /// A store with songs A, B, C, D in slots 0..3 of sheet 0 and A again in slot 4.
    std::unique_ptr<TSongInfo> defaultStore()
    {
        auto store = std::make_unique<TSongInfo>(*m_registry, *m_dialogs);
        const QStringList titles = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                                    QStringLiteral("D")};
        for (int i = 0; i < titles.size(); ++i)
            putSong(*store, 0, i, titles[i], m_files[i]);
        putSong(*store, 0, 4, QStringLiteral("A again"), m_files[0]);
        return store;
    }

    /// The show ended, as at Exit: the song file and the settings saved.
    void closeShow() { m_core.reset(); }

    /// A new show over `store`, after the one before ended.
    void openShow(std::unique_ptr<TSongInfo> store, SongLevels* levels = nullptr, bool preview = true,
                  bool layers = true)
    {
        closeShow();
        m_core = std::make_unique<ShowCore>(ShowServices{*m_registry, *m_player, *m_cd, &m_outputs, levels,
                                                         preview ? &m_preview : nullptr,
                                                         layers ? &m_layerPlayers : nullptr},
                                            std::move(store));
    }

    void tearDown()
    {
        closeShow();
        m_errors.reset();
        m_player.reset();
        m_env.reset();
    }

    QString makeFile(const QString& name)
    {
        const QString path = m_env->root() + QLatin1Char('/') + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("RIFF");
        return path;
    }

    void putSong(TSongInfo& store, int sheet, int slot, const QString& title, const QString& file)
    {
        store.SetSong(sheet, slot, makeSong(title, sheet, slot, file));
    }

    /// The states of slots 0..count-1 of the first sheet, as the show tells them.
    [[nodiscard]] QList<SlotState> states(int count) const
    {
        QList<SlotState> out;
        for (int k = 0; k < count; ++k)
            out << m_core->slotState(0, k);
        return out;
    }
};
