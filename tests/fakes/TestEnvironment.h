// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

/// Points the settings file and the data folder at a fresh temporary folder.
/// (Qt's standard-paths test mode would ignore these variables and share one
/// folder between all tests, so it is not used.)
class TestEnvironment {
public:
    TestEnvironment()
    {
        qputenv("XDG_CONFIG_HOME", configDir().toUtf8());
        qputenv("XDG_DATA_HOME", dataDir().toUtf8());
        // Both are there in a real home; only what lies below them is ours to make.
        QDir().mkpath(configDir());
        QDir().mkpath(dataDir());
    }
    [[nodiscard]] QString root() const { return m_dir.path(); }
    [[nodiscard]] QString configDir() const { return m_dir.path() + QLatin1String("/config"); }
    [[nodiscard]] QString dataDir() const { return m_dir.path() + QLatin1String("/data"); }

private:
    QTemporaryDir m_dir;
};
