// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SampleSounds.h"
#include "app/setup/SonavexSetup.h"
#include "fakes/FakeDialogs.h"
#include "fakes/SongFixtures.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

namespace {

template <typename T> T at(const QByteArray& data, qsizetype offset)
{
    return qFromLittleEndian<T>(data.constData() + offset);
}
} // namespace

class TestSonavexSetup : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;
    FakeDialogs m_dialogs;

    [[nodiscard]] QString helpPath() const
    {
        return QStringLiteral("/opt/sonavex/share/sonavex/help/index.html");
    }
    [[nodiscard]] QString samplesDir() const { return m_env->dataDir() + QStringLiteral("/Sonavex/samples"); }
    [[nodiscard]] QString defaultInfo() const
    {
        return m_env->dataDir() + QStringLiteral("/Sonavex/songs.inf");
    }

    SonavexSetup::Report runSetup()
    {
        SonavexSetup setup(*m_registry, m_dialogs, {defaultInfo(), helpPath(), samplesDir()});
        return setup.run();
    }

    QString system(const QString& name)
    {
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        const QString value = m_registry->ReadString(name);
        m_registry->CloseKey();
        return value;
    }

    void setSystem(const QString& name, const QString& value)
    {
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        m_registry->WriteString(name, value);
        m_registry->CloseKey();
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_registry = std::make_unique<IniRegistry>(m_env->configDir());
        m_dialogs.messages.clear();
    }

    void cleanup()
    {
        m_registry.reset();
        m_env.reset();
    }

    void registersOnlyAbsentOrEmptyValues_data()
    {
        QTest::addColumn<QString>("infoBefore");
        QTest::addColumn<QString>("helpBefore");
        QTest::addColumn<QString>("infoAfter");
        QTest::addColumn<QString>("helpAfter");
        // "<tmp>" stands for the test's own folder, which does not exist yet here.
        const QString own = QStringLiteral("<tmp>/show/songs.inf");
        const QString ownHelp = QStringLiteral("<tmp>/show/help.html");
        const QString none = QStringLiteral("<absent>");
        QTest::newRow("both absent") << none << none << QString() << helpPath();
        QTest::newRow("both empty") << QString() << QString() << QString() << helpPath();
        QTest::newRow("both present") << own << ownHelp << own << ownHelp;
        QTest::newRow("info present, help empty") << own << QString() << own << helpPath();
        QTest::newRow("help present, info absent") << none << ownHelp << QString() << ownHelp;
    }

    void registersOnlyAbsentOrEmptyValues()
    {
        QFETCH(QString, infoBefore);
        QFETCH(QString, helpBefore);
        QFETCH(QString, infoAfter);
        QFETCH(QString, helpAfter);
        const QString none = QStringLiteral("<absent>");
        for (QString* path : {&infoBefore, &helpBefore, &infoAfter, &helpAfter})
            path->replace(QStringLiteral("<tmp>"), m_env->root());
        if (infoBefore != none)
            setSystem(QStringLiteral("InfoPath"), infoBefore);
        if (helpBefore != none)
            setSystem(QStringLiteral("HelpPath"), helpBefore);
        if (infoAfter.isEmpty())
            infoAfter = defaultInfo();

        // The program runs the setup at its start only for a user who has neither value.
        const bool firstStart =
            (infoBefore == none || infoBefore.isEmpty()) && (helpBefore == none || helpBefore.isEmpty());
        QCOMPARE(SonavexSetup::isFirstStart(*m_registry), firstStart);
        runSetup();
        QVERIFY(!SonavexSetup::isFirstStart(*m_registry));
        QCOMPARE(system(QStringLiteral("InfoPath")), infoAfter);
        QCOMPARE(system(QStringLiteral("HelpPath")), helpAfter);
    }

    void seedsTheFirstSheetWithPlayableSamples()
    {
        const SonavexSetup::Report report = runSetup();
        QCOMPARE(report.seededSongs, 4);
        QVERIFY(QFileInfo::exists(defaultInfo()));
        QVERIFY(m_dialogs.messages.isEmpty());

        TSongInfo songs(*m_registry, m_dialogs);
        QStringList titles;
        for (int slot = 0; slot < SlotCount; ++slot) {
            TSongRecord rec;
            if (!songs.GetSong(0, slot, rec))
                continue;
            QCOMPARE(int(rec.Sheet), 0);
            QCOMPARE(int(rec.Slot), slot);
            titles << rec.Title.str();
            // Each file is a 44.1 kHz 16-bit stereo wave of 1 to 3 seconds that is not silent.
            const QByteArray wave = readFile(rec.FileName.str());
            QVERIFY2(wave.size() > 44, qPrintable(rec.FileName.str()));
            QCOMPARE(wave.left(4), QByteArray("RIFF"));
            QCOMPARE(wave.mid(8, 8), QByteArray("WAVEfmt "));
            QCOMPARE(at<quint16>(wave, 20), quint16(1));
            QCOMPARE(at<quint16>(wave, 22), quint16(2));
            QCOMPARE(at<quint32>(wave, 24), quint32(44100));
            QCOMPARE(at<quint16>(wave, 34), quint16(16));
            QCOMPARE(wave.mid(36, 4), QByteArray("data"));
            const quint32 dataBytes = at<quint32>(wave, 40);
            QCOMPARE(qsizetype(dataBytes) + 44, wave.size());
            QCOMPARE(at<quint32>(wave, 4), dataBytes + 36);
            const double seconds = dataBytes / 4.0 / 44100.0;
            QVERIFY(seconds >= 1.0 && seconds <= 3.0);
            int peak = 0;
            for (qsizetype i = 44; i + 1 < wave.size(); i += 2)
                peak = std::max(peak, std::abs(int(at<qint16>(wave, i))));
            QVERIFY2(peak > 16000 && peak < 32767, qPrintable(QString::number(peak))); // loud, not clipped
        }
        QCOMPARE(titles, (QStringList{QStringLiteral("Chime"), QStringLiteral("Drum Hit"),
                                      QStringLiteral("Rising Sweep"), QStringLiteral("Applause")}));
        for (int sheet = 1; sheet < SheetCount; ++sheet) {
            TSongRecord rec;
            QVERIFY(!songs.GetSong(sheet, 0, rec));
        }
    }

    void existingInfoFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("an operator's sheets")
            << QStringLiteral("file") << QStringLiteral("/show/songs.inf") << QByteArray(416, 'x');
        QTest::newRow("an empty file: every sheet cleared")
            << QStringLiteral("file") << QStringLiteral("/show/songs.inf") << QByteArray();
        QTest::newRow("a link to a drive not mounted")
            << QStringLiteral("link") << QStringLiteral("/songs.inf") << QByteArray();
        QTest::newRow("in a folder not there: never started")
            << QStringLiteral("missing") << QStringLiteral("/usb-stick/show/songs.inf") << QByteArray();
    }

    void existingInfoFileIsLeftAlone()
    {
        QFETCH(QString, what);
        QFETCH(QString, info);
        QFETCH(QByteArray, content);
        info.prepend(m_env->root());
        if (what == QLatin1String("file"))
            writeFile(info, content);
        if (what == QLatin1String("link"))
            QVERIFY(QFile::link(m_env->root() + QStringLiteral("/unmounted/songs.inf"), info));
        setSystem(QStringLiteral("InfoPath"), info);
        QCOMPARE(runSetup().seededSongs, 0);
        QCOMPARE(readFile(info), content);
        QCOMPARE(QFileInfo(info).isSymLink(), what == QLatin1String("link"));
        QVERIFY(!QFileInfo::exists(m_env->root() + QStringLiteral("/usb-stick")));
        QVERIFY(!QFileInfo::exists(samplesDir()));
    }

    void secondRunChangesNothing()
    {
        runSetup();
        const QString settings = m_registry->fileForKey(QStringLiteral("\\Software\\Brasswold"));
        const QByteArray settingsBefore = readFile(settings);
        const QByteArray infoBefore = readFile(defaultInfo());
        const QFileInfo chime(samplesDir() + QStringLiteral("/chime.wav"));
        const QDateTime chimeTime = chime.lastModified();

        const SonavexSetup::Report second = runSetup();
        QVERIFY(second.registered.isEmpty());
        QVERIFY(second.wroteFiles.isEmpty());
        QCOMPARE(second.seededSongs, 0);
        QCOMPARE(readFile(settings), settingsBefore);
        QCOMPARE(readFile(defaultInfo()), infoBefore);
        QCOMPARE(QFileInfo(chime.filePath()).lastModified(), chimeTime);
    }

    void existingSampleFileIsKept()
    {
        const QString chime = samplesDir() + QStringLiteral("/chime.wav");
        writeFile(chime, "my own chime");
        const SonavexSetup::Report report = runSetup();
        QCOMPARE(report.seededSongs, 4);
        QCOMPARE(readFile(chime), QByteArray("my own chime"));
        QVERIFY(!report.wroteFiles.contains(chime));
        QCOMPARE(report.wroteFiles.size(), 3);
    }

    void samplesAreTheSameOnEveryRun()
    {
        const QList<SampleSounds::Sample> a = SampleSounds::all();
        const QList<SampleSounds::Sample> b = SampleSounds::all();
        QCOMPARE(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); ++i)
            QVERIFY(a[i].wave == b[i].wave);
    }

    void setupInTheBuildFolderRegistersTheHelpBesideIt()
    {
        // The build folder is laid out as an installation, with the pages and their pictures.
        QProcess setup;
        setup.start(QStringLiteral(SONAVEX_SETUP_BINARY), {});
        QVERIFY(setup.waitForFinished(30000));
        QCOMPARE(setup.exitCode(), 0);
        const QString help = system(QStringLiteral("HelpPath"));
        const QDir buildDir(QFileInfo(QStringLiteral(SONAVEX_SETUP_BINARY)).absolutePath() +
                            QStringLiteral("/.."));
        QVERIFY2(help.startsWith(QDir::cleanPath(buildDir.absolutePath()) + QLatin1Char('/')),
                 qPrintable(help));
        const QString index = QString::fromUtf8(readFile(help));
        QVERIFY2(index.contains(QLatin1String("<title>")), qPrintable(help));
        const QRegularExpression picture(QStringLiteral("src=\"([^\"]+)\""));
        for (const QRegularExpressionMatch& m : picture.globalMatch(index))
            QVERIFY2(QFileInfo(help).dir().exists(m.captured(1)), qPrintable(m.captured(1)));
    }

    void helpPathFollowsTheInstallation_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("expected");
        QTest::newRow("system") << QStringLiteral("/usr/bin")
                                << QStringLiteral("/usr/share/sonavex/help/index.html");
        QTest::newRow("user, spaces") << QStringLiteral("/home/a b/.local/bin/")
                                      << QStringLiteral("/home/a b/.local/share/sonavex/help/index.html");
        QTest::newRow("build tree") << QStringLiteral("/src/build/dev/src")
                                    << QStringLiteral("/fallback/share/sonavex/help/index.html");
        QTest::newRow("bin only as a name part")
            << QStringLiteral("/opt/cabin") << QStringLiteral("/fallback/share/sonavex/help/index.html");
    }

    void helpPathFollowsTheInstallation()
    {
        QFETCH(QString, programDir);
        QFETCH(QString, expected);
        QCOMPARE(SonavexSetup::installedHelpPath(programDir, QStringLiteral("bin"), QStringLiteral("share"),
                                                 QStringLiteral("/fallback/share")),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestSonavexSetup)
#include "tst_sonavexsetup.moc"
