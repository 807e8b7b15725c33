// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Errors.h"
#include "platform/IniRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    }

    void missingKeysAndValues()
    {
        QTemporaryDir dir;
        IniRegistry reg(dir.path());
        QVERIFY(!reg.OpenKey(QStringLiteral("Software\\Brasswold"), false));
        QVERIFY(!QFile::exists(dir.path() + QLatin1String("/Brasswold.ini")));
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold"), true));
        QVERIFY(QFile::exists(dir.path() + QLatin1String("/Brasswold.ini")));
        QVERIFY(!reg.OpenKey(QStringLiteral("System"), false));
        // The failed open left the key itself open.
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QString());
        QVERIFY(!reg.ValueExists(QStringLiteral("InfoPath")));
        QVERIFY(reg.GetValueNames().isEmpty());
        reg.CloseKey();
        QCOMPARE(reg.ReadString(QStringLiteral("InfoPath")), QString());
        QVERIFY_THROWS_EXCEPTION(GeneralError, reg.WriteString(QStringLiteral("x"), QStringLiteral("y")));
    }

    void valuesWrittenByOneObjectAreReadByAnother()
    {
        QTemporaryDir dir;
        IniRegistry writer(dir.path());
        IniRegistry reader(dir.path());
        QVERIFY(reader.OpenKey(QStringLiteral("Software\\Brasswold\\System"), true));
        QVERIFY(writer.OpenKey(QStringLiteral("Software\\Brasswold\\System"), true));
        writer.WriteString(QStringLiteral("HelpPath"), QStringLiteral("C:\\Program Files\\help.htm"));
        QCOMPARE(reader.ReadString(QStringLiteral("helppath")), QStringLiteral("C:\\Program Files\\help.htm"));
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
