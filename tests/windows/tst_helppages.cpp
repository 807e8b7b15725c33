// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBrowser>

/// The installed help: every page reachable from the start page, every link and
/// picture resolving, and every page readable by the help window's browser.
class TestHelpPages : public QObject {
    Q_OBJECT

    QDir m_help;
    QDir m_resources;

    [[nodiscard]] QString text(const QString& page) const
    {
        QFile f(m_help.filePath(page));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    [[nodiscard]] static QStringList attributes(const QString& html, const QString& name)
    {
        QStringList values;
        const QRegularExpression re(QStringLiteral("\\b%1=\"([^\"]*)\"").arg(name));
        for (const QRegularExpressionMatch& m : re.globalMatch(html))
            values << m.captured(1);
        return values;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString index = QStringLiteral(SONAVEX_SOURCE_DIR "/data/help/index.html");
        QVERIFY2(QFileInfo::exists(index), qPrintable(index));
        m_help = QFileInfo(index).dir();
        m_resources = QDir(m_help.filePath(QStringLiteral("../../resources")));
        QVERIFY(m_resources.exists());
    }

    void everyPageIsReachableAndEveryLinkResolves()
    {
        QSet<QString> reached;
        QStringList toVisit{QStringLiteral("index.html")};
        while (!toVisit.isEmpty()) {
            const QString page = toVisit.takeFirst();
            if (reached.contains(page))
                continue;
            reached.insert(page);
            const QString html = text(page);
            QVERIFY2(!html.isEmpty(), qPrintable(page));
            for (QString target : attributes(html, QStringLiteral("href"))) {
                if (target.startsWith(QLatin1String("http")))
                    continue;
                target = target.section(QLatin1Char('#'), 0, 0);
                QVERIFY2(m_help.exists(target), qPrintable(page + QStringLiteral(" links to ") + target));
                if (target.endsWith(QLatin1String(".html")))
                    toVisit << target;
            }
            // Pictures come from the program's own artwork, installed beside the pages.
            for (const QString& src : attributes(html, QStringLiteral("src"))) {
                QVERIFY2(src.startsWith(QLatin1String("images/")), qPrintable(src));
                const QString name = src.mid(7);
                QVERIFY2(!name.endsWith(QLatin1String("-disabled.svg")), qPrintable(src));
                const bool found = m_resources.exists(QStringLiteral("app/") + name) ||
                                   m_resources.exists(QStringLiteral("devices/") + name) ||
                                   m_resources.exists(QStringLiteral("windows/") + name);
                QVERIFY2(found, qPrintable(page + QStringLiteral(" shows ") + src));
            }
        }
        const QStringList pages = m_help.entryList({QStringLiteral("*.html")}, QDir::Files);
        for (const QString& page : pages)
            QVERIFY2(reached.contains(page),
                     qPrintable(page + QStringLiteral(" is not linked from the contents")));
    }

    void browserShowsEveryPageWithItsTitle()
    {
        QTextBrowser browser;
        const QStringList pages = m_help.entryList({QStringLiteral("*.html")}, QDir::Files);
        QVERIFY(pages.size() >= 5);
        for (const QString& page : pages) {
            browser.setSource(QUrl::fromLocalFile(m_help.filePath(page)));
            QVERIFY2(browser.documentTitle().startsWith(QLatin1String("Sonavex Help")), qPrintable(page));
            QVERIFY2(browser.toPlainText().size() > 300, qPrintable(page));
        }
    }
};

QTEST_MAIN(TestHelpPages)
#include "tst_helppages.moc"
