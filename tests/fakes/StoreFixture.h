// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fakes/FakeDialogs.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <memory>

/// A test's own song store: its folders (TestEnvironment), the settings file with the song
/// file registered in the test's data folder, scripted dialogs, and the store over them.
/// `setUpStore()` before each test, `tearDownStore()` after it.
struct StoreFixture {
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;
    FakeDialogs m_dialogs;
    std::unique_ptr<TSongInfo> m_store;
    QString m_infoPath;

    /// `open`: the store opens at once; otherwise the test opens the stores it needs.
    void setUpStore(bool open = true)
    {
        m_env = std::make_unique<TestEnvironment>();
        m_registry = std::make_unique<IniRegistry>(m_env->configDir());
        m_dialogs = FakeDialogs();
        setInfoPath(m_env->dataDir() + QLatin1String("/songs.inf"));
        if (open)
            m_store = openStore();
    }

    void tearDownStore()
    {
        m_store.reset();
        m_registry.reset();
        m_env.reset();
    }

    /// A store over the fixture's settings, as a run opens it.
    [[nodiscard]] std::unique_ptr<TSongInfo> openStore()
    {
        return std::make_unique<TSongInfo>(*m_registry, m_dialogs);
    }

    /// Saves the store and reads it again, as the next run would.
    void reloadStore()
    {
        m_store.reset();
        m_store = openStore();
    }

    void setInfoPath(const QString& path)
    {
        m_infoPath = path;
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        m_registry->WriteString(QStringLiteral("InfoPath"), path);
        m_registry->CloseKey();
    }
};
