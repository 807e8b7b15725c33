// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/frmMain.h"
#include "controls/Tranbtn.h"
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeDriveList.h"
#include "fakes/FakeMediaPlayer.h"
#include "fakes/FakeOutputDevices.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/SongFixtures.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QColor>
#include <QCoreApplication>
#include <QFile>

#include <memory>

/// The main window over fakes, with songs A, B, C and D in slots 0..3 of the first sheet and
/// A again in slot 4. `setUp()` before each test, `tearDown()` after it.
struct BoardFixture {
    static inline const QColor Black{0, 0, 0};
    static inline const QColor Green{0, 128, 0};
    static inline const QColor Yellow{255, 255, 0};
    static inline const QColor Red{255, 0, 0};

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<FakeMediaPlayer> m_player;
    std::unique_ptr<FakeCdTrackCatalog> m_cd;
    FakeDriveList m_drives;
    FakeOutputDevices m_outputs;
    std::unique_ptr<RecordingErrorReporter> m_errors;
    std::unique_ptr<ShowCore> m_core;
    std::unique_ptr<TMainForm> m_form;
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
        m_files = {makeFile(QStringLiteral("a.wav")), makeFile(QStringLiteral("b.wav")),
                   makeFile(QStringLiteral("c.wav")), makeFile(QStringLiteral("d.mp3"))};
        createForm();
    }

    /// The window closed and the show ended, as at Exit: the song file and the settings saved.
    void closeBoard()
    {
        m_form.reset();
        m_core.reset();
    }

    /// A new show over `store` and its window, after the one before ended.
    void openBoard(std::unique_ptr<TSongInfo> store, SongLevels* levels = nullptr)
    {
        closeBoard();
        m_core = std::make_unique<ShowCore>(ShowServices{*m_registry, *m_player, *m_cd, &m_outputs, levels},
                                            std::move(store));
        m_form = std::make_unique<TMainForm>(*m_core, *m_dialogs, m_drives);
    }

    void tearDown()
    {
        closeBoard();
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

    void createForm()
    {
        auto store = std::make_unique<TSongInfo>(*m_registry, *m_dialogs);
        const QStringList titles = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                                    QStringLiteral("D")};
        for (int i = 0; i < titles.size(); ++i)
            putSong(*store, 0, i, titles[i], m_files[i]);
        putSong(*store, 0, 4, QStringLiteral("A again"), m_files[0]);
        openBoard(std::move(store));
    }

    [[nodiscard]] TMTranBtn* button(int slot) const
    {
        return m_form->SongButtons[static_cast<std::size_t>(slot)];
    }

    /// A press of the mouse on a button of the shown sheet.
    void press(int slot, bool shift = false, Qt::MouseButton which = Qt::LeftButton)
    {
        TMTranBtn* b = button(slot);
        Q_EMIT b->OnMouseDown(b, which, shift ? Qt::ShiftModifier : Qt::NoModifier, 5, 5);
        settle();
    }

    [[nodiscard]] QList<QColor> colours(int count) const
    {
        QList<QColor> out;
        for (int k = 0; k < count; ++k)
            out << button(k)->fontColor();
        return out;
    }
};
