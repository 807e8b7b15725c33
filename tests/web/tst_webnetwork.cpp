// SPDX-License-Identifier: GPL-3.0-or-later
// A browser on another host, for real: the web remote's socket in one network namespace, the
// browser's in another, joined by a veth pair (made by osc-netns.sh, which runs this test).
#include "fakes/BrowserPage.h"
#include "fakes/FakeBoard.h"
#include "fakes/HttpExchange.h"
#include "fakes/NetNamespace.h"
#include "web/WebServer.h"

#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

#include <functional>
#include <memory>

namespace {

constexpr quint16 Port = 8020;

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
        QVERIFY(enterNetNamespace(qgetenv("SONAVEX_NETNS_BOARD")));
        m_server = std::make_unique<WebServer>(m_board);
        QVERIFY(m_server->listen({Port, true, QStringLiteral("stage left")}));
        // Every socket this test opens from now on is the other host's.
        QVERIFY(enterNetNamespace(qgetenv("SONAVEX_NETNS_SENDER")));
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

    void aPhoneWithItsSessionGetsInThroughHeldConnections()
    {
        // 17 more addresses on the other host, each opening connections that never finish a
        // request and opening them again as they are dropped; a program on the board's own
        // computer holding 31 pages.
        const QByteArray sender = qgetenv("SONAVEX_NETNS_SENDER");
        const quint32 first = QHostAddress(QStringLiteral("10.201.23.10")).toIPv4Address();
        for (quint32 a = first; a < first + 17; ++a)
            QCOMPARE(
                QProcess::execute(QStringLiteral("ip"), {QStringLiteral("-n"), QString::fromLocal8Bit(sender),
                                                         QStringLiteral("addr"), QStringLiteral("add"),
                                                         QHostAddress(a).toString() + QStringLiteral("/24"),
                                                         QStringLiteral("dev"), QStringLiteral("vsender")}),
                0);
        QTest::qWait(static_cast<int>(WebGate::DeniedPauseMs)); // after the wrong passcode above
        const QByteArray right = ask("POST", "/login", {}, "passcode=stage+left");
        const QByteArray cookie = headerOf(right, "Set-Cookie").split(';').value(0);
        QVERIFY(!cookie.isEmpty());

        QVERIFY(enterNetNamespace(qgetenv("SONAVEX_NETNS_BOARD")));
        std::vector<std::unique_ptr<QWebSocket>> local;
        for (int i = 0; i < 31; ++i) {
            local.push_back(std::make_unique<QWebSocket>(QStringLiteral("http://127.0.0.1:%1").arg(Port)));
            QSignalSpy connected(local.back().get(), &QWebSocket::connected);
            QSignalSpy closed(local.back().get(), &QWebSocket::disconnected);
            local.back()->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(Port)));
            QTRY_VERIFY(!connected.isEmpty() || !closed.isEmpty());
        }
        QVERIFY(enterNetNamespace(sender));
        // Reopened as soon as dropped; the flag outlives the test for what is still queued.
        auto attacking = std::make_shared<bool>(true);
        const auto stop = qScopeGuard([attacking] { *attacking = false; });
        std::vector<std::unique_ptr<QTcpSocket>> held(40);
        std::function<void(std::size_t)> open = [&](std::size_t i) {
            auto s = std::make_unique<QTcpSocket>();
            s->bind(QHostAddress(first + quint32(i % 17)));
            QTcpSocket* raw = s.get();
            connect(raw, &QTcpSocket::connected, raw, [raw] { raw->write("GET / HTTP/1.1\r\nHost: x"); });
            connect(raw, &QTcpSocket::disconnected, this, [this, &open, attacking, i] {
                QTimer::singleShot(0, this, [&open, attacking, i] {
                    if (*attacking)
                        open(i);
                });
            });
            raw->connectToHost(m_boardIp, Port);
            held[i] = std::move(s);
        };
        for (std::size_t i = 0; i < held.size(); ++i)
            open(i);
        QTest::qWait(500);

        // The phone reloads its page: page, script and socket, a press heard each time.
        const int reloadMs = qEnvironmentVariableIsSet("SONAVEX_RELOAD_MS")
                                 ? qEnvironmentVariableIntValue("SONAVEX_RELOAD_MS")
                                 : 250;
        const QString origin = QStringLiteral("http://") + QString::fromLatin1(m_host);
        int loaded = 0;
        for (int i = 0; i < 20; ++i) {
            m_board.commands.clear();
            QStringList messages;
            if (ask("GET", "/", "Cookie: " + cookie + "\r\n").contains("web.js") &&
                httpStatus(ask("GET", "/web.js", "Cookie: " + cookie + "\r\n")) == "HTTP/1.1 200 OK" &&
                openSocket(cookie, origin, &messages))
                ++loaded;
            QTest::qWait(reloadMs);
        }
        // This computer's program keeps its share of pages meanwhile, no more (the phone's last
        // page may still be closing).
        (void)QTest::qWaitFor([&] { return m_server->pageCount() <= ConnectionQuota::MaxPerAddress; }, 1000);
        const int pages = m_server->pageCount();
        *attacking = false;
        held.clear();
        local.clear();
        qInfo("loads with a press heard: %d of 20, every %d ms; pages of this computer's held: %d of 31; "
              "connections refused or made room for: %llu",
              loaded, reloadMs, pages, static_cast<unsigned long long>(m_server->counters().busy));
        QCOMPARE(loaded, 20);
        QCOMPARE(pages, ConnectionQuota::MaxPerAddress);
    }
};

QTEST_GUILESS_MAIN(TestWebNetwork)
#include "tst_webnetwork.moc"
