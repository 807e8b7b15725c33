// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/RecordingErrorReporter.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>

class TestIniRegistry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyNamesAndValueNamesIgnoreCase()
    {
        QTemporaryDir dir;
        IniRegistry reg(dir.path());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), true));
        reg.WriteString(QStringLiteral("Tab0"), QStringLiteral("Warm-up"));
        reg.CloseKey();

        QVERIFY(reg.OpenKey(QStringLiteral("SoftWare\\BRASSWOLD"), false));
        QVERIFY(reg.OpenKey(QStringLiteral("tabs"), false));
        QCOMPARE(reg.ReadString(QStringLiteral("TAB0")), QStringLiteral("Warm-up"));
        reg.WriteString(QStringLiteral("tab0"), QStringLiteral("Opening"));
        QCOMPARE(reg.GetValueNames(), QStringList{QStringLiteral("Tab0")});
        QCOMPARE(reg.ReadString(QStringLiteral("Tab0")), QStringLiteral("Opening"));
        QVERIFY(QFile::exists(dir.path() + QLatin1String("/Brasswold.ini")));

        reg.WriteString(QStringLiteral("Tab1"), QStringLiteral("Finale"));
        QVERIFY(reg.DeleteValue(QStringLiteral("TAB0")));
        QVERIFY(!reg.DeleteValue(QStringLiteral("Tab0")));
        reg.CloseKey();
        IniRegistry other(dir.path());
        QVERIFY(other.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), false));
        QCOMPARE(other.GetValueNames(), QStringList{QStringLiteral("Tab1")});
    }

    void missingKeysAndValues()
    {
        QTemporaryDir dir;
        IniRegistry reg(dir.path());
        QVERIFY(!reg.OpenKey(QStringLiteral("Software\\Brasswold"), false));
        QVERIFY(!QFile::exists(dir.path() + QLatin1String("/Brasswold.ini")));
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold"), true));
        QVERIFY(!reg.OpenKey(QStringLiteral("System"), false));
        // The failed open left the key itself open.
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QString());
        QVERIFY(!reg.ValueExists(QStringLiteral("InfoPath")));
        QVERIFY(reg.GetValueNames().isEmpty());
        reg.CloseKey();
        QVERIFY(QFile::exists(dir.path() + QLatin1String("/Brasswold.ini")));
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QString());
        QVERIFY_THROWS_EXCEPTION(GeneralError, reg.WriteString(QStringLiteral("x"), QStringLiteral("y")));
    }

    void writesOfOneOpeningReachTheFileTogetherAtClose()
    {
        // A program killed between two writes of one opening must leave the old file whole.
        QTemporaryDir dir;
        IniRegistry writer(dir.path());
        IniRegistry other(dir.path());
        QVERIFY(writer.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), true));
        writer.WriteString(QStringLiteral("Tab0"), QStringLiteral("Warm-up"));
        writer.WriteString(QStringLiteral("Tab1"), QStringLiteral("Finale"));
        QVERIFY(writer.DeleteValue(QStringLiteral("tab1")));
        QCOMPARE(writer.GetValueNames(), QStringList{QStringLiteral("Tab0")});
        QVERIFY(!QFile::exists(writer.fileForKey(QStringLiteral("Software\\Brasswold"))));

        // What another object wrote meanwhile is kept beside this opening's writes.
        QVERIFY(other.OpenKey(QStringLiteral("Software\\Brasswold\\System"), true));
        other.WriteString(QStringLiteral("HelpPath"), QStringLiteral("C:\\Program Files\\help.htm"));
        other.CloseKey();
        QVERIFY(other.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), true));
        QVERIFY(other.GetValueNames().isEmpty());

        writer.CloseKey();
        QCOMPARE(other.GetValueNames(), QStringList{QStringLiteral("Tab0")});
        QVERIFY(other.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), false));
        QCOMPARE(other.ReadString(QStringLiteral("helppath")), QStringLiteral("C:\\Program Files\\help.htm"));
    }

    void leftoverTemporariesGoWhateverTheirAge()
    {
        QTemporaryDir dir;
        IniRegistry reg(dir.path());
        QFile leftover(dir.filePath(QStringLiteral(".Brasswold.ini.a1B2c3")));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        QFile unrelated(dir.filePath(QStringLiteral(".Brasswold.ini.notours")));
        QVERIFY(unrelated.open(QIODevice::WriteOnly));
        unrelated.close();
        reg.removeLeftoverTemporaries(QStringLiteral("Software\\Brasswold"));
        QVERIFY(!leftover.exists());
        QVERIFY(unrelated.exists());
    }

    void awkwardTextSurvives()
    {
        QTemporaryDir dir;
        const QString value = QStringLiteral("  a=b\\c\nline two\r\t[x] ;no comment  ");
        {
            IniRegistry reg(dir.path());
            QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), true));
            reg.WriteString(QStringLiteral("[odd=name]"), value);
            reg.WriteString(QStringLiteral("Tab1"), QString());
        }
        IniRegistry reg(dir.path());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), false));
        QCOMPARE(reg.ReadString(QStringLiteral("[odd=name]")), value);
        QVERIFY(reg.ValueExists(QStringLiteral("Tab1")));
        QCOMPARE(reg.GetValueNames(), (QStringList{QStringLiteral("[odd=name]"), QStringLiteral("Tab1")}));
    }

    void filesWrittenByHandAreRead_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("blanks around the equals sign")
            << QByteArray("[System]\nInfoPath = /shows/songs.inf\n");
        QTest::newRow("comments") << QByteArray(
            "# the show\n; paths\n[System]\n  # here\nInfoPath=/shows/songs.inf\n");
        QTest::newRow("byte-order mark and CRLF")
            << QByteArray("\xEF\xBB\xBF[System]\r\nInfoPath=/shows/songs.inf\r\n");
        QTest::newRow("doubled carriage returns")
            << QByteArray("# note\r\r\n[System]\r\r\nInfoPath=/shows/songs.inf \r\r\n");
        QTest::newRow("trailing blanks") << QByteArray("[System]  \t\nInfoPath=/shows/songs.inf   \n");
        QTest::newRow("indented, blanks in the header")
            << QByteArray("  [ System ]\n\tinfopath\t=\t/shows/songs.inf\n");
    }

    void filesWrittenByHandAreRead()
    {
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("Brasswold.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        IniRegistry reg(dir.path());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\System"), false));
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QStringLiteral("/shows/songs.inf"));
        QCOMPARE(reg.GetValueNames().size(), 1);

        // Writing the file again keeps its comments.
        reg.WriteString(QStringLiteral("HelpPath"), QStringLiteral("/help/index.htm"));
        reg.CloseKey();
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        for (const QByteArray& line : text.split('\n'))
            if (line.trimmed().startsWith('#') || line.trimmed().startsWith(';'))
                QVERIFY2(written.contains(line.trimmed()), written.constData());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\System"), false));
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QStringLiteral("/shows/songs.inf"));
    }

    /// What the registry read it keeps while the file stays as it was; any change made behind its
    /// back, by another program or another copy, is read.
    void changesBehindItsBackAreRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Brasswold.ini"));
        const auto writeFile = [](const QString& to, const QByteArray& text) {
            QFile f(to);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text);
        };
        writeFile(path, "[System]\nInfoPath=/shows/one.inf\n");
        QThread::msleep(60); // settled: read once, then kept
        IniRegistry reg(dir.path());
        const auto infoPath = [&reg] {
            [&] { QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\System"), false)); }();
            const QString value = reg.ReadString(QStringLiteral("InfoPath"));
            reg.CloseKey();
            return value;
        };
        QCOMPARE(infoPath(), QStringLiteral("/shows/one.inf"));
        QCOMPARE(infoPath(), QStringLiteral("/shows/one.inf"));

        // Edited in place to the same size.
        writeFile(path, "[System]\nInfoPath=/shows/two.inf\n");
        QCOMPARE(infoPath(), QStringLiteral("/shows/two.inf"));
        // Replaced by another program, as an editor saves.
        writeFile(path + QLatin1String(".new"), "[System]\nInfoPath=/shows/three.inf\n");
        QVERIFY(std::rename(QFile::encodeName(path + QLatin1String(".new")).constData(),
                            QFile::encodeName(path).constData()) == 0);
        QCOMPARE(infoPath(), QStringLiteral("/shows/three.inf"));
        // Written by another copy.
        {
            IniRegistry other(dir.path());
            QVERIFY(other.OpenKey(QStringLiteral("Software\\Brasswold\\System"), false));
            other.WriteString(QStringLiteral("InfoPath"), QStringLiteral("/shows/four.inf"));
        }
        QCOMPARE(infoPath(), QStringLiteral("/shows/four.inf"));
        // Kept a while, then edited in place to the same size.
        QThread::msleep(60);
        QCOMPARE(infoPath(), QStringLiteral("/shows/four.inf"));
        writeFile(path, "[System]\nInfoPath=/shows/five.inf\n");
        QCOMPARE(infoPath(), QStringLiteral("/shows/five.inf"));
        // A file of another spelling takes the key's place.
        QThread::msleep(60);
        QCOMPARE(infoPath(), QStringLiteral("/shows/five.inf"));
        QVERIFY(QFile::remove(path));
        writeFile(dir.filePath(QStringLiteral("BRASSWOLD.INI")), "[System]\nInfoPath=/shows/six.inf\n");
        QCOMPARE(infoPath(), QStringLiteral("/shows/six.inf"));
    }

    void settingsThatCannotBeKeptLiveForTheRunAndAreReportedOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("file cannot be read") << QStringLiteral("unreadable");
        QTest::newRow("folder cannot be made") << QStringLiteral("nofolder");
    }

    void settingsThatCannotBeKeptLiveForTheRunAndAreReportedOnce()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        RecordingErrorReporter reporter;
        QString configDir = dir.path();
        if (how == QLatin1String("unreadable")) {
            // A folder in the file's place cannot be read, by root either.
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Brasswold.ini")));
        } else {
            QFile plain(dir.filePath(QStringLiteral("plain")));
            QVERIFY(plain.open(QIODevice::WriteOnly));
            configDir = plain.fileName() + QLatin1String("/config");
        }
        IniRegistry reg(configDir);
        QVERIFY(reg.OpenKey(QStringLiteral("\\SoftWare\\Brasswold"), true));
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QString());
        QVERIFY(reg.OpenKey(QStringLiteral("Tabs"), true));
        reg.WriteString(QStringLiteral("Tab0"), QStringLiteral("Warm-up"));
        reg.WriteString(QStringLiteral("Tab1"), QStringLiteral("Finale"));
        reg.CloseKey();
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), false));
        QCOMPARE(reg.ReadString(QStringLiteral("Tab0")), QStringLiteral("Warm-up"));
        reg.WriteString(QStringLiteral("Tab0"), QStringLiteral("Opening"));
        reg.CloseKey();
        QCOMPARE(reporter.messages.size(), 1);
        if (how == QLatin1String("unreadable"))
            QVERIFY(QFileInfo(dir.filePath(QStringLiteral("Brasswold.ini"))).isDir());
    }

    void enumerationKeepsTheOrderOfWriting()
    {
        QTemporaryDir dir;
        IniRegistry reg(dir.path());
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), true));
        for (const char* name : {"Tab3", "Tab0", "Tab1"})
            reg.WriteString(QString::fromLatin1(name), QStringLiteral("x"));
        QCOMPARE(reg.GetValueNames(),
                 (QStringList{QStringLiteral("Tab3"), QStringLiteral("Tab0"), QStringLiteral("Tab1")}));
    }
};

QTEST_GUILESS_MAIN(TestIniRegistry)
#include "tst_iniregistry.moc"
