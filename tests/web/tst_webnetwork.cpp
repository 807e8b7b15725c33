// SPDX-License-Identifier: GPL-3.0-or-later
// A browser on another host, for real: the web remote's socket in one network namespace, the
// browser's in another, joined by a veth pair (made by osc-netns.sh, which runs this test).
#include "fakes/BrowserPage.h"
#include "fakes/FakeBoard.h"
#include "fakes/HttpExchange.h"
#include "web/WebServer.h"

#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

#include <fcntl.h>
#include <sched.h>

namespace {

constexpr quint16 Port = 8020;

/// Makes the sockets this thread opens from now on belong to the network namespace `name`.
bool enter(const QByteArray& name)
{
    const QByteArray file = name.startsWith('/') ? name : "/var/run/netns/" + name;
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    return entered;
}

QByteArray headerOf(const QByteArray& answer, const QByteArray& name)
{
    for (const QByteArray& line : answer.left(answer.indexOf("\r\n\r\n")).split('\n'))
        if (line.toLower().startsWith(QByteArray(name.toLower() + ':')))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

} // namespace

class TestWebNetwork : public QObject {
    Q_OBJECT

    FakeBoard m_board;
    std::unique_ptr<WebServer> m_server;
    QHostAddress m_boardIp;
    QByteArray m_host;

    QByteArray ask(const QByteArray& method, const QByteArray& path, const QByteArray& extra = {},
                   const QByteArray& body = {})
    {
        return httpExchange(m_boardIp, Port,
                            method + ' ' + path + " HTTP/1.1\r\nHost: " + m_host + "\r\n" + extra +
                                (body.isEmpty() ? QByteArray()
                                                : "Content-Type: application/x-www-form-urlencoded\r\n"
                                                  "Content-Length: " +
                                                      QByteArray::number(body.size()) + "\r\n") +
                                "\r\n" + body);
    }

    /// Opens the page's socket with `cookie` and `origin`; whether it was let in.
    bool openSocket(const QByteArray& cookie, const QString& origin, QStringList* messages = nullptr)
    {
        QWebSocket page(origin);
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1/ws").arg(QString::fromLatin1(m_host))));
        if (!cookie.isEmpty())
            request.setRawHeader("Cookie", cookie);
        QSignalSpy connected(&page, &QWebSocket::connected);
        QSignalSpy closed(&page, &QWebSocket::disconnected);
        if (messages)
            connect(&page, &QWebSocket::textMessageReceived, this,
                    [messages](const QString& m) { *messages << m; });
        page.open(request);
        if (!QTest::qWaitFor([&] { return !connected.isEmpty() || !closed.isEmpty(); }, 3000))
            return false;
        if (connected.isEmpty())
            return false;
        if (messages) {
            if (!QTest::qWaitFor([&] { return !messages->isEmpty(); }, 3000))
                return false;
            page.sendTextMessage(QStringLiteral(R"({"cmd":"press","sheet":0,"slot":1})"));
            if (!QTest::qWaitFor([&] { return !m_board.commands.isEmpty(); }, 3000))
                return false;
        }
        page.close();
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("SONAVEX_NETNS_BOARD"))
            QSKIP("run by osc-netns.sh, which makes the namespaces");
        m_boardIp = QHostAddress(QString::fromLatin1(qgetenv("SONAVEX_NETNS_BOARD_IP")));
        m_host = m_boardIp.toString().toLatin1() + ':' + QByteArray::number(Port);
        m_board.titles[0] = QStringLiteral("Secret Song");
        m_board.states[0] = SlotState::Filled;
        QVERIFY(enter(qgetenv("SONAVEX_NETNS_BOARD")));
        m_server = std::make_unique<WebServer>(m_board);
        QVERIFY(m_server->listen({Port, true, QStringLiteral("stage left")}));
        // Every socket this test opens from now on is the other host's.
        QVERIFY(enter(qgetenv("SONAVEX_NETNS_SENDER")));
    }

    void cleanupTestCase() { m_server.reset(); }

    void nothingOfTheShowBeforeThePasscode()
    {
        const QByteArray page = ask("GET", "/");
        QCOMPARE(httpStatus(page), QByteArray("HTTP/1.1 200 OK"));
        QVERIFY(page.contains("name=\"passcode\""));
        QVERIFY(!page.contains("Secret Song") && !page.contains("web.js"));
        QCOMPARE(httpStatus(ask("GET", "/web.js")), QByteArray("HTTP/1.1 403 Forbidden"));
        QVERIFY(!openSocket({}, QStringLiteral("http://") + QString::fromLatin1(m_host)));
        QVERIFY(!openSocket("sonavex_session=00112233445566778899aabbccddeeff",
                            QStringLiteral("http://") + QString::fromLatin1(m_host)));
    }

    void theRightPasscodeGivesASessionAWrongOnePausesTheAddress()
    {
        const QByteArray wrong = ask("POST", "/login", {}, "passcode=stage");
        QCOMPARE(headerOf(wrong, "Location"), QByteArray("/?wrong"));
        QVERIFY(headerOf(wrong, "Set-Cookie").isEmpty());
        QElapsedTimer clock;
        clock.start();
        const QByteArray right = ask("POST", "/login", {}, "passcode=stage+left");
        QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(headerOf(right, "Location"), QByteArray("/"));
        const QByteArray cookie = headerOf(right, "Set-Cookie");
        QVERIFY2(cookie.startsWith("sonavex_session=") && cookie.contains("; HttpOnly") &&
                     cookie.contains("; SameSite=Strict"),
                 cookie.constData());
        const QByteArray session = cookie.left(cookie.indexOf(';'));

        const QByteArray page = ask("GET", "/", "Cookie: " + session + "\r\n");
        QVERIFY(page.contains("web.js"));
        QStringList messages;
        QVERIFY(openSocket(session, QStringLiteral("http://") + QString::fromLatin1(m_host), &messages));
        QVERIFY(messages.value(0).contains(QLatin1String("Secret Song")));
        QCOMPARE(m_board.commands, QStringList{QStringLiteral("press 0 1")});
        // The session from a page of another site: no.
        QVERIFY(!openSocket(session, QStringLiteral("http://example.invalid")));
        QCOMPARE(m_server->gate().denied(), 1u);
    }

    void aBrowserOnTheOtherHostGetsInWithThePasscodeAndPlays()
    {
        if (const QString why = BrowserPage::missing(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QTest::qWait(static_cast<int>(WebGate::DeniedPauseMs)); // after the wrong passcode above
        BrowserPage browser({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"),
                             QString::fromLocal8Bit(qgetenv("SONAVEX_NETNS_SENDER"))});
        QVERIFY(browser.ready());
        const auto ask = [&browser](std::initializer_list<QPair<QString, QJsonValue>> args) {
            QJsonObject o;
            for (const auto& [k, v] : args)
                o.insert(k, v);
            return browser.ask(o);
        };
        const QString url = QStringLiteral("http://%1/").arg(QString::fromLatin1(m_host));
        QCOMPARE(ask({{QStringLiteral("op"), QStringLiteral("open")},
                      {QStringLiteral("url"), url},
                      {QStringLiteral("width"), 360},
                      {QStringLiteral("height"), 740}})
                     .toString(),
                 url);
        ask({{QStringLiteral("op"), QStringLiteral("type")},
             {QStringLiteral("selector"), QStringLiteral("#passcode")},
             {QStringLiteral("text"), QStringLiteral("stage left")}});
        QCOMPARE(ask({{QStringLiteral("op"), QStringLiteral("submit")},
                      {QStringLiteral("selector"), QStringLiteral("button[type=submit]")}})
                     .toString(),
                 url);
        m_board.commands.clear();
        const QString first = QStringLiteral("#grid button[data-slot=\"0\"]");
        QVERIFY2(!ask({{QStringLiteral("op"), QStringLiteral("waitText")},
                       {QStringLiteral("selector"), first},
                       {QStringLiteral("text"), QStringLiteral("Secret Song")}})
                      .isUndefined(),
                 qPrintable(browser.error()));
        ask({{QStringLiteral("op"), QStringLiteral("tap")}, {QStringLiteral("selector"), first}});
        // Pressed at the touch, let go at the lift.
        QTRY_COMPARE(m_board.commands,
                     (QStringList{QStringLiteral("press 0 0"), QStringLiteral("release 0 0")}));
    }
};

QTEST_GUILESS_MAIN(TestWebNetwork)
#include "tst_webnetwork.moc"
