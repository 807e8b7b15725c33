// SPDX-License-Identifier: GPL-3.0-or-later
#include "SonavexSetup.h"

#include "SampleSounds.h"
#include "platform/Errors.h"
#include "platform/Registry.h"
#include "songs/SongStruc.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

SonavexSetup::SonavexSetup(Registry& registry, Dialogs& dialogs, Locations locations)
    : m_registry(registry)
    , m_dialogs(dialogs)
    , m_locations(std::move(locations))
{
}

QString SonavexSetup::installedHelpPath(const QString& programDir, const QString& binDir,
                                        const QString& dataDir, const QString& fallbackDataDir)
{
    const QString tail = QStringLiteral("/sonavex/help/index.html");
    const QString dir = QDir::cleanPath(programDir);
    const QString suffix = QLatin1Char('/') + QDir::cleanPath(binDir);
    if (!QDir::isAbsolutePath(dataDir) && dir.endsWith(suffix)) {
        const QString prefix = dir.left(dir.size() - suffix.size());
        return QDir::cleanPath(prefix + QLatin1Char('/') + dataDir) + tail;
    }
    return QDir::cleanPath(fallbackDataDir) + tail;
}

bool SonavexSetup::isFirstStart(Registry& registry)
{
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold"), true);
    bool registered = false;
    if (registry.OpenKey(QStringLiteral("System"), false))
        registered = !registry.ReadString(QStringLiteral("InfoPath")).isEmpty() ||
                     !registry.ReadString(QStringLiteral("HelpPath")).isEmpty();
    registry.CloseKey();
    return !registered;
}

SonavexSetup::Locations SonavexSetup::locationsFor(const QString& programDir)
{
    return {TSongInfo::defaultInfoPath(),
            installedHelpPath(programDir, QStringLiteral(SONAVEX_INSTALL_BINDIR),
                              QStringLiteral(SONAVEX_INSTALL_DATADIR),
                              QStringLiteral(SONAVEX_INSTALL_FULL_DATADIR)),
            defaultSamplesDir()};
}

QString SonavexSetup::defaultSamplesDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1String("/Sonavex/samples");
}

SonavexSetup::Report SonavexSetup::run()
{
    Report report;
    m_registry.OpenKey(QStringLiteral("\\Software\\Brasswold"), true);
    m_registry.OpenKey(QStringLiteral("System"), true);
    registerMissing(QStringLiteral("InfoPath"), m_locations.infoPath, report);
    registerMissing(QStringLiteral("HelpPath"), m_locations.helpPath, report);
    report.infoPath = m_registry.ReadString(QStringLiteral("InfoPath"));
    m_registry.CloseKey();
    seed(report);
    return report;
}

void SonavexSetup::registerMissing(const QString& name, const QString& value, Report& report)
{
    if (!m_registry.ReadString(name).isEmpty())
        return;
    m_registry.WriteString(name, value);
    report.registered << name + QLatin1Char('=') + value;
}

void SonavexSetup::seed(Report& report)
{
    const QFileInfo info(report.infoPath);
    // A link counts as the operator's file even when what it names is missing.
    if (info.exists() || info.isSymLink()) {
        report.skipped = QStringLiteral("the info file exists");
        return;
    }
    // An info file on a drive that is not there now must not be started in an empty folder.
    if (report.infoPath != m_locations.infoPath && !info.absoluteDir().exists()) {
        report.skipped = QStringLiteral("the folder of the info file does not exist");
        return;
    }

    if (!QDir().mkpath(m_locations.samplesDir))
        throw GeneralError(QStringLiteral("Unable to create the folder %1").arg(m_locations.samplesDir));
    const QList<SampleSounds::Sample> samples = SampleSounds::all();
    QStringList paths;
    for (const SampleSounds::Sample& sample : samples) {
        const QString path = QDir(m_locations.samplesDir).filePath(sample.fileName);
        paths << path;
        if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
            continue; // keep whatever is there: it may be the operator's own
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(sample.wave) != sample.wave.size() ||
            !file.commit())
            throw GeneralError(QStringLiteral("Unable to write %1").arg(path));
        report.wroteFiles << path;
    }

    {
        // The store reads the path from the settings and writes the file when it goes.
        TSongInfo songs(m_registry, m_dialogs);
        for (qsizetype slot = 0; slot < samples.size(); ++slot) {
            TSongRecord rec;
            InitSongRecord(rec);
            rec.Artist.set(QStringLiteral("Sonavex"));
            rec.Album.set(QStringLiteral("Samples"));
            rec.Title.set(samples[slot].title);
            rec.FileName.set(paths[slot]);
            rec.Sheet = 0;
            rec.Slot = static_cast<qint32>(slot);
            songs.SetSong(0, static_cast<int>(slot), rec);
        }
    }
    if (!QFileInfo::exists(report.infoPath))
        throw GeneralError(QStringLiteral("Unable to write %1").arg(report.infoPath));
    report.seededSongs = static_cast<int>(samples.size());
}
