// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

/// A real browser (Debian's chromium, headless) driven through its DevTools protocol by
/// tests/browser/puppet.mjs, one request at a time. The event loop turns while it waits, so a
/// server on the test's own thread answers the browser meanwhile.
class BrowserPage {
public:
    /// Where puppet.mjs and its node_modules are (`npm ci` in tests/browser).
    static QString folder() { return QStringLiteral(SONAVEX_SOURCE_DIR "/tests/browser"); }
    /// Why no browser can run here; empty when one can.
    static QString missing()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
            return QStringLiteral("no node");
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/chromium")))
            return QStringLiteral("no chromium (scripts/install-deps)");
        if (!QFileInfo::exists(folder() + QStringLiteral("/node_modules/puppeteer-core")))
            return QStringLiteral("no puppeteer-core: npm ci in tests/browser");
        return {};
    }

    /// `wrapper` runs node, as `ip netns exec NAME` does for a browser on another host.
    explicit BrowserPage(const QStringList& wrapper = {})
    {
        m_node.setWorkingDirectory(folder());
        m_node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList command = wrapper;
        command << QStringLiteral("node") << QStringLiteral("puppet.mjs");
        m_node.start(command.takeFirst(), command);
        m_ready = next(30000).value(QStringLiteral("value")).toString() == QLatin1String("ready");
    }
    ~BrowserPage()
    {
        if (m_node.state() == QProcess::NotRunning)
            return;
        m_node.write("{\"op\":\"quit\"}\n");
        // Node runs on while its input is open: it would be killed below, 10 s later, and leave
        // its browser's profile behind.
        m_node.closeWriteChannel();
        if (!m_node.waitForFinished(10000))
            m_node.kill();
        m_node.waitForFinished(2000);
    }
    BrowserPage(const BrowserPage&) = delete;
    BrowserPage& operator=(const BrowserPage&) = delete;

    [[nodiscard]] bool ready() const { return m_ready; }
    /// The last answer's text when it failed.
    [[nodiscard]] QString error() const { return m_error; }

    /// Asks `request` (with "op") and returns the answer's value; an invalid value when it failed.
    QJsonValue ask(QJsonObject request, int timeoutMs = 10000)
    {
        request.insert(QStringLiteral("id"), ++m_id);
        m_node.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        const QJsonObject answer = next(timeoutMs);
        if (answer.value(QStringLiteral("ok")).toBool())
            return answer.value(QStringLiteral("value"));
        m_error = answer.value(QStringLiteral("value")).toString(QStringLiteral("no answer"));
        return QJsonValue(QJsonValue::Undefined);
    }

private:
    QJsonObject next(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!m_node.canReadLine() && clock.elapsed() < timeoutMs && m_node.state() != QProcess::NotRunning)
            QTest::qWait(1);
        if (!m_node.canReadLine())
            return {};
        return QJsonDocument::fromJson(m_node.readLine()).object();
    }

    QProcess m_node;
    bool m_ready = false;
    int m_id = 0;
    QString m_error;
};
