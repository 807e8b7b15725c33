// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/RecordingErrorReporter.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "windows/help.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTextBrowser>

namespace {
const QString MissingText = QStringLiteral("Help path missing from the registry. re-install Sonavex");

void writePage(const QString& path, const QString& body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QStringLiteral("<html><body><p>%1</p></body></html>").arg(body).toUtf8());
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;

    void setHelpPath(const QString& value)
    {
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        m_registry->WriteString(QStringLiteral("HelpPath"), value);
        m_registry->CloseKey();
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_registry = std::make_unique<IniRegistry>(m_env->configDir());
    }

    void cleanup()
    {
        m_registry.reset();
        m_env.reset();
    }

    void missingOrEmptyHelpPathIsReportedAndTheWindowStillOpens_data()
    {
        QTest::addColumn<int>("setup");
        QTest::newRow("no settings at all") << 0;
        QTest::newRow("System without HelpPath") << 1;
        QTest::newRow("HelpPath present but empty") << 2;
    }

    void missingOrEmptyHelpPathIsReportedAndTheWindowStillOpens()
    {
        QFETCH(int, setup);
        if (setup == 1) {
            m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
            m_registry->WriteString(QStringLiteral("InfoPath"), QStringLiteral("/tmp/songs.inf"));
            m_registry->CloseKey();
        } else if (setup == 2) {
            setHelpPath(QString());
        }
        RecordingErrorReporter reporter;
        TfrmHelp help(nullptr, *m_registry);
        QCOMPARE(reporter.messages, QStringList{MissingText});
        QVERIFY(help.WebBrowser1);
        QVERIFY(help.WebBrowser1->source().isEmpty());
        QVERIFY(help.WebBrowser1->toPlainText().isEmpty());
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(help.windowTitle(), QStringLiteral("Help"));
    }

    void pathWithSpacesIsAddressedUnchanged()
    {
        const QString path = m_env->root() + QStringLiteral("/Sonavex Help/start page.html");
        writePage(path, QStringLiteral("Running a show"));
        setHelpPath(path);
        RecordingErrorReporter reporter;
        TfrmHelp help(nullptr, *m_registry);
        QVERIFY(reporter.messages.isEmpty());
        QCOMPARE(help.WebBrowser1->source().toString(), QStringLiteral("file://") + path);
        QVERIFY(help.WebBrowser1->source().isLocalFile());
        QCOMPARE(help.WebBrowser1->toPlainText().trimmed(), QStringLiteral("Running a show"));
    }

    void eachOpeningReadsTheSettingsAgain()
    {
        const QString first = m_env->root() + QStringLiteral("/first.html");
        const QString second = m_env->root() + QStringLiteral("/second.html");
        writePage(first, QStringLiteral("First page"));
        writePage(second, QStringLiteral("Second page"));
        setHelpPath(first);
        {
            TfrmHelp help(nullptr, *m_registry);
            QCOMPARE(help.WebBrowser1->toPlainText().trimmed(), QStringLiteral("First page"));
        }
        // A second store object, as another program changing the file would.
        IniRegistry other(m_env->configDir());
        other.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        other.WriteString(QStringLiteral("HelpPath"), second);
        other.CloseKey();
        TfrmHelp help(nullptr, *m_registry);
        QCOMPARE(help.WebBrowser1->toPlainText().trimmed(), QStringLiteral("Second page"));
    }

    void unreadablePageIsReportedInsteadOfShowingNothing_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("makeFolder");
        QTest::newRow("missing file") << QStringLiteral("/nowhere/index.html") << false;
        QTest::newRow("a folder") << QStringLiteral("/help") << true;
        QTest::newRow("drive letter path") << QStringLiteral("C:\\Program Files\\Sonavex\\Help.htm") << false;
    }

    void unreadablePageIsReportedInsteadOfShowingNothing()
    {
        QFETCH(QString, relative);
        QFETCH(bool, makeFolder);
        const QString path = relative.startsWith(QLatin1Char('/')) ? m_env->root() + relative : relative;
        if (makeFolder)
            QDir().mkpath(path);
        setHelpPath(path);
        RecordingErrorReporter reporter;
        TfrmHelp help(nullptr, *m_registry);
        QCOMPARE(reporter.messages, QStringList{QStringLiteral("Unable to open ") + path});
        QVERIFY(help.WebBrowser1->toPlainText().isEmpty());
    }

    void relativeLinksOfThePageAreFollowed()
    {
        const QString dir = m_env->root() + QStringLiteral("/help");
        writePage(dir + QStringLiteral("/queue.html"), QStringLiteral("The queue"));
        QFile index(dir + QStringLiteral("/index.html"));
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("<html><body><a href=\"queue.html\">Queue</a></body></html>");
        index.close();
        setHelpPath(index.fileName());
        TfrmHelp help(nullptr, *m_registry);
        help.WebBrowser1->setSource(QUrl(QStringLiteral("queue.html")));
        QCOMPARE(help.WebBrowser1->toPlainText().trimmed(), QStringLiteral("The queue"));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
