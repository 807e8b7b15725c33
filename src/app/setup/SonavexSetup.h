// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class Dialogs;
class Registry;

/// Prepares a user for Sonavex: registers [System] InfoPath and HelpPath when they
/// are absent or empty, and gives a user without an info file a first sheet of
/// sample sounds. Running it again changes nothing; it never replaces a value or
/// a file that is already there.
class SonavexSetup {
public:
    struct Report {
        QStringList registered; ///< "Name=value" of each value written
        QString infoPath;       ///< the info file the settings name
        int seededSongs = 0;    ///< songs put on the first sheet now
        QStringList wroteFiles; ///< sample sounds written now
        QString skipped;        ///< why no sample sheet was written, when none was
    };

    struct Locations {
        QString infoPath;   ///< the info file to register: TSongInfo::defaultInfoPath() in the program
        QString helpPath;   ///< the installed help start page
        QString samplesDir; ///< where the sample sounds go
    };

    SonavexSetup(Registry& registry, Dialogs& dialogs, Locations locations);

    /// Raises a GeneralError when the settings or a sample cannot be written.
    Report run();

    /// Whether neither InfoPath nor HelpPath is registered: a user who has never started
    /// Sonavex nor run its setup. The program then runs the setup at its start.
    [[nodiscard]] static bool isFirstStart(Registry& registry);

    /// The locations of the installation whose programs are in `programDir`: the default
    /// info file, installedHelpPath() with the folders the programs were built for, and
    /// defaultSamplesDir(). In the build folder, whose programs lie in <build>/<bindir> as
    /// installed ones lie in <prefix>/<bindir>, the help is the pages the build put under
    /// <build>/<datadir>.
    [[nodiscard]] static Locations locationsFor(const QString& programDir);

    /// The help start page of an installation whose programs are in `programDir`:
    /// <prefix>/<dataDir>/sonavex/help/index.html when `programDir` is <prefix>/<binDir>,
    /// else `fallbackDataDir`/sonavex/help/index.html.
    [[nodiscard]] static QString installedHelpPath(const QString& programDir, const QString& binDir,
                                                   const QString& dataDir, const QString& fallbackDataDir);
    /// ~/.local/share/Sonavex/samples (under $XDG_DATA_HOME when set).
    [[nodiscard]] static QString defaultSamplesDir();

private:
    void registerMissing(const QString& name, const QString& value, Report& report);
    void seed(Report& report);

    Registry& m_registry;
    Dialogs& m_dialogs;
    Locations m_locations;
};
