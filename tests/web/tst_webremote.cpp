// SPDX-License-Identifier: GPL-3.0-or-later
// The web remote headless: its request and command parsers, its gate, and the server on
// 127.0.0.1 with a page's WebSocket, run against a fake board.
#include "fakes/BrowserPage.h"
#include "fakes/FakeBoard.h"
#include "fakes/HttpExchange.h"
#include "fakes/WebSocketWire.h"
#include "platform/GuessPause.h"
#include "show/MainState.h"
#include "web/ConnectionQuota.h"
#include "web/HttpRequest.h"
#include "web/WebCommand.h"
#include "web/WebGate.h"
#include "web/WebServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

#include <array>

namespace {

QByteArray exchange(quint16 port, const QByteArray& request, const QHostAddress& from = {})
{
    return httpStatus(httpExchange(QHostAddress::LocalHost, port, request, 3000, from));
}

QHostAddress loopback(int last)
{
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(last));
}

QByteArray get(const QByteArray& path, const QByteArray& extra = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

} // namespace

class TestWebRemote : public QObject {
    Q_OBJECT

    FakeBoard m_board;
    std::unique_ptr<WebServer> m_server;
    quint16 m_port = 0;

    /// A page's WebSocket, opened as the browser does; the messages it gets land in `messages`.
    std::unique_ptr<QWebSocket> openPage(QStringList& messages, const QString& origin)
    {
        auto page = std::make_unique<QWebSocket>(origin);
        connect(page.get(), &QWebSocket::textMessageReceived, this,
                [&messages](const QString& m) { messages << m; });
        page->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
        return page;
    }

    /// A socket to the board from `from`, connected (the kernel answers; the board's turn comes).
    std::unique_ptr<QTcpSocket> connectFrom(const QHostAddress& from)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(from);
        socket->connectToHost(QHostAddress::LocalHost, m_port);
        return socket->waitForConnected(1000) ? std::move(socket) : nullptr;
    }

    /// A page's socket from `from`, spoken byte by byte; null when it was not let in.
    std::unique_ptr<QTcpSocket> rawPage(const QHostAddress& from)
    {
        auto socket = connectFrom(from);
        if (!socket)
            return nullptr;
        socket->write(webSocketUpgrade("127.0.0.1:" + QByteArray::number(m_port)));
        QByteArray answer;
        (void)QTest::qWaitFor(
            [&] {
                answer += socket->readAll();
                return answer.contains("\r\n\r\n") || socket->state() != QAbstractSocket::ConnectedState;
            },
            3000);
        return answer.startsWith("HTTP/1.1 101") ? std::move(socket) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_board.titles[0] = QStringLiteral("Opening");
        m_server = std::make_unique<WebServer>(m_board);
        for (m_port = 28020; m_port < 28120 && !m_server->listen({m_port, false, QStringLiteral("cue")});
             ++m_port) {
        }
        QVERIFY(m_server->listening());
    }

    void requestParser_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("path");
        using P = HttpRequest::Parse;
        QTest::newRow("plain") << get("/") << int(P::Done) << QByteArray("/");
        QTest::newRow("query") << get("/?wrong") << int(P::Done) << QByteArray("/");
        QTest::newRow("half") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n") << int(P::Incomplete)
                              << QByteArray();
        QTest::newRow("body") << QByteArray("POST /login HTTP/1.1\r\nContent-Length: 5\r\n\r\nab")
                              << int(P::Incomplete) << QByteArray();
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << int(P::Malformed) << QByteArray();
        QTest::newRow("http/2") << QByteArray("GET / HTTP/2\r\n\r\n") << int(P::Malformed) << QByteArray();
        QTest::newRow("not a path") << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << int(P::Malformed)
                                    << QByteArray();
        QTest::newRow("bare lf") << QByteArray("GET / HTTP/1.1\nHost: a\r\n\r\n") << int(P::Malformed)
                                 << QByteArray();
        QTest::newRow("no colon") << QByteArray("GET / HTTP/1.1\r\nHost a\r\n\r\n") << int(P::Malformed)
                                  << QByteArray();
        QTest::newRow("control char")
            << QByteArray("GET / HTTP/1.1\r\nX: a\x01\r\n\r\n") << int(P::Malformed) << QByteArray();
        QTest::newRow("chunked") << QByteArray("POST /login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                 << int(P::Malformed) << QByteArray();
        QTest::newRow("bad length") << QByteArray("POST /login HTTP/1.1\r\nContent-Length: -1\r\n\r\n")
                                    << int(P::Malformed) << QByteArray();
        QTest::newRow("big body") << QByteArray("POST /login HTTP/1.1\r\nContent-Length: 99999\r\n\r\n")
                                  << int(P::TooLarge) << QByteArray();
        QTest::newRow("long head") << QByteArray("GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'a'))
                                   << int(P::TooLarge) << QByteArray();
        QByteArray many = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 50; ++i)
            many += "X: y\r\n";
        QTest::newRow("many headers") << many + "\r\n" << int(P::TooLarge) << QByteArray();
    }

    void requestParser()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        QFETCH(QByteArray, path);
        HttpRequest r;
        QCOMPARE(int(HttpRequest::parse(bytes, r)), result);
        if (result == int(HttpRequest::Parse::Done)) {
            QCOMPARE(r.path(), path);
            QCOMPARE(r.consumed, bytes.size());
        }
    }

    void requestHeaders()
    {
        HttpRequest r;
        QCOMPARE(
            HttpRequest::parse("GET /ws HTTP/1.1\r\nCONNECTION: keep-alive, Upgrade\r\nUpgrade: WebSocket\r\n"
                               "Cookie: a=1; sonavex_session=abc; b=2\r\n\r\nrest",
                               r),
            HttpRequest::Parse::Done);
        QVERIFY(r.wantsWebSocket());
        QCOMPARE(r.cookie("sonavex_session"), QByteArray("abc"));
        QCOMPARE(r.cookie("sonavex"), QByteArray());
        QVERIFY(r.consumed < 140); // the rest stays for the next reader
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("runs"); // empty: refused
        QTest::newRow("press") << QByteArray(R"({"cmd":"press","sheet":2,"slot":35})")
                               << QByteArray("press 2 35");
        QTest::newRow("release") << QByteArray(R"({"cmd":"release","sheet":1,"slot":4})")
                                 << QByteArray("release 1 4");
        QTest::newRow("queue") << QByteArray(R"({"cmd":"queue","sheet":0,"slot":0})")
                               << QByteArray("queue 0 0");
        QTest::newRow("play") << QByteArray(R"({"cmd":"play"})") << QByteArray("play");
        QTest::newRow("stop") << QByteArray(R"({"cmd":"stop"})") << QByteArray("stop");
        QTest::newRow("stopall") << QByteArray(R"({"cmd":"stopall"})") << QByteArray("stopall");
        QTest::newRow("pause") << QByteArray(R"({"cmd":"pause"})") << QByteArray("pause");
        QTest::newRow("fade chosen") << QByteArray(R"({"cmd":"fade"})") << QByteArray("fade 0");
        QTest::newRow("fade 5") << QByteArray(R"({"cmd":"fade","speed":5})") << QByteArray("fade 5");
        QTest::newRow("show") << QByteArray(R"({"cmd":"show","sheet":9})") << QByteArray("show 9");
        QTest::newRow("fade all") << QByteArray(R"({"cmd":"fadeall"})") << QByteArray("fadeall 0");
        QTest::newRow("fade all 3") << QByteArray(R"({"cmd":"fadeall","speed":3})")
                                    << QByteArray("fadeall 3");
        QTest::newRow("stop sound") << QByteArray(R"({"cmd":"stopsound","id":7})")
                                    << QByteArray("stopsound 7");
        QTest::newRow("master") << QByteArray(R"({"cmd":"master","db":-7.5})") << QByteArray("master -7.5");
        QTest::newRow("master floor")
            << QByteArray(R"({"cmd":"master","db":-60})") << QByteArray("master -60");
        QTest::newRow("fade all 6") << QByteArray(R"({"cmd":"fadeall","speed":6})") << QByteArray("");
        QTest::newRow("stop sound -1") << QByteArray(R"({"cmd":"stopsound","id":-1})") << QByteArray("");
        QTest::newRow("stop sound no id") << QByteArray(R"({"cmd":"stopsound"})") << QByteArray("");
        QTest::newRow("master above 0") << QByteArray(R"({"cmd":"master","db":3})") << QByteArray("");
        QTest::newRow("master text") << QByteArray(R"({"cmd":"master","db":"-6"})") << QByteArray("");
        QTest::newRow("slot 36") << QByteArray(R"({"cmd":"press","sheet":0,"slot":36})") << QByteArray("");
        QTest::newRow("sheet -1") << QByteArray(R"({"cmd":"show","sheet":-1})") << QByteArray("");
        QTest::newRow("half slot") << QByteArray(R"({"cmd":"press","sheet":0,"slot":1.5})") << QByteArray("");
        QTest::newRow("text slot") << QByteArray(R"({"cmd":"press","sheet":0,"slot":"1"})") << QByteArray("");
        QTest::newRow("no slot") << QByteArray(R"({"cmd":"queue","sheet":0})") << QByteArray("");
        QTest::newRow("fade 6") << QByteArray(R"({"cmd":"fade","speed":6})") << QByteArray("");
        QTest::newRow("unknown") << QByteArray(R"({"cmd":"eject"})") << QByteArray("");
        QTest::newRow("cmd number") << QByteArray(R"({"cmd":1})") << QByteArray("");
        QTest::newRow("array") << QByteArray(R"(["play"])") << QByteArray();
        QTest::newRow("broken") << QByteArray(R"({"cmd":"play")") << QByteArray("");
        QTest::newRow("huge") << QByteArray(R"({"cmd":"play","x":")" + QByteArray(300, 'a') + R"("})")
                              << QByteArray("");
    }

    void commands()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, runs);
        FakeBoard board;
        QString why;
        const auto command = WebCommand::parse(message, &why);
        QCOMPARE(command.has_value(), !runs.isEmpty());
        if (command)
            (void)command->run(board);
        else
            QVERIFY(!why.isEmpty());
        QCOMPARE(board.commands.join(QLatin1Char(',')).toUtf8(), runs);
    }

    void gate()
    {
        WebGate gate;
        qint64 now = 1000;
        gate.setClock([&now] { return now; });
        gate.setPasscode(QStringLiteral("cue"));
        const QHostAddress phone(QStringLiteral("10.0.0.7"));
        QVERIFY(gate.admits(QHostAddress(QStringLiteral("127.0.0.2")), {}));
        QVERIFY(gate.admits(QHostAddress(QStringLiteral("::ffff:127.0.0.1")), {}));
        QVERIFY(!gate.admits(phone, {}));

        QVERIFY(gate.login(phone, QStringLiteral("cu")).isEmpty());
        QCOMPARE(gate.pausedFor(phone), WebGate::DeniedPauseMs);
        QCOMPARE(gate.pausedFor(QHostAddress(QStringLiteral("10.0.0.8"))), 0);
        now += 400;
        QCOMPARE(gate.pausedFor(phone), 600);
        now += 600;
        QCOMPARE(gate.pausedFor(phone), 0);

        const QByteArray token = gate.login(phone, QStringLiteral("cue"));
        QCOMPARE(token.size(), 32);
        QVERIFY(gate.admits(phone, token));
        QVERIFY(!gate.admits(phone, token.left(31)));
        QVERIFY(!gate.admits(phone, "x" + token));
        gate.setPasscode(QStringLiteral("cue"));
        QVERIFY(gate.admits(phone, token));
        gate.setPasscode(QStringLiteral("new"));
        QVERIFY(!gate.admits(phone, token));
        QCOMPARE(gate.denied(), 1u);

        gate.setPasscode(QString());
        QVERIFY(gate.login(phone, QString()).isEmpty()); // no passcode: nobody from the network
    }

    void gateSlowsGuessingFromManyAddresses()
    {
        WebGate gate;
        qint64 now = 1000;
        gate.setClock([&now] { return now; });
        gate.setPasscode(QStringLiteral("stage left"));
        // 17 hosts each try a wrong passcode as soon as they are read, for a minute.
        constexpr int Hosts = 17;
        constexpr qint64 Minute = 60'000;
        const auto host = [](int i) { return QHostAddress(0x0A000001u + static_cast<quint32>(i)); };
        for (const qint64 end = now + Minute; now < end; now += 10)
            for (int i = 0; i < Hosts; ++i)
                if (gate.pausedFor(host(i)) == 0)
                    QVERIFY(gate.login(host(i), QStringLiteral("stage")).isEmpty());
        const double perSecond = static_cast<double>(gate.denied()) * 1000.0 / Minute;
        qInfo("wrong passcodes read from %d hosts: %.2f a second", Hosts, perSecond);
        QVERIFY2(perSecond < 1.0, qPrintable(QString::number(perSecond)));

        // A phone that has not guessed wrong is read at once and gets in; a guesser waits a few
        // seconds at most, and once in it no longer waits for the others.
        const QHostAddress phone(QStringLiteral("10.0.1.7"));
        QCOMPARE(gate.pausedFor(phone), 0);
        QVERIFY(!gate.login(phone, QStringLiteral("stage left")).isEmpty());
        QVERIFY(gate.login(host(1), QStringLiteral("stage")).isEmpty());
        QVERIFY(gate.pausedFor(host(0)) > WebGate::DeniedPauseMs);
        QVERIFY(gate.pausedFor(host(0)) <= GuessPause::MaxMs);
        now += gate.pausedFor(host(0));
        QVERIFY(!gate.login(host(0), QStringLiteral("stage left")).isEmpty());
        QVERIFY(gate.login(host(1), QStringLiteral("stage")).isEmpty());
        QCOMPARE(gate.pausedFor(host(0)), 0);
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("page") << get("/") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("script") << get("/web.js") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("missing") << get("/etc/passwd") << QByteArray("HTTP/1.1 404 Not Found");
        QTest::newRow("method") << QByteArray("DELETE / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                                << QByteArray("HTTP/1.1 405 Method Not Allowed");
        QTest::newRow("malformed") << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("rebound name") << QByteArray("GET / HTTP/1.1\r\nHost: evil.example:8020\r\n\r\n")
                                      << QByteArray("HTTP/1.1 421 Misdirected Request");
        QTest::newRow("oversized") << QByteArray("GET / HTTP/1.1\r\nX: " + QByteArray(10000, 'a'))
                                   << QByteArray("HTTP/1.1 431 Request Header Fields Too Large");
        QTest::newRow("socket, foreign origin")
            << get("/ws", "Connection: Upgrade\r\nUpgrade: websocket\r\nOrigin: http://evil.example\r\n"
                          "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n")
            << QByteArray("HTTP/1.1 403 Forbidden");
        QTest::newRow("login from here")
            << QByteArray("POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                          "10\r\n\r\npasscode=x")
            << QByteArray("HTTP/1.1 303 See Other");
    }

    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QCOMPARE(exchange(m_port, request), status);
    }

    void pageLiveOverSocket()
    {
        m_board.sounds = {
            PlayingSound{3, 0, 1, QStringLiteral("Rain"), 2, 6, false, QStringLiteral("Stage")}};
        m_board.master = -6;
        const auto restore = qScopeGuard([this] {
            m_board.sounds.clear();
            m_board.master = 0;
        });
        QStringList messages;
        auto page = openPage(messages, QStringLiteral("http://127.0.0.1:%1").arg(m_port));
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 3000);
        const QJsonObject all = QJsonDocument::fromJson(messages[0].toUtf8()).object();
        QCOMPARE(all[QStringLiteral("t")].toString(), QStringLiteral("all"));
        QCOMPARE(all[QStringLiteral("slots")][0][0][1].toString(), QStringLiteral("Opening"));
        QCOMPARE(all[QStringLiteral("sheets")].toArray().size(), Board::Sheets);
        QCOMPARE(all[QStringLiteral("audition")], QJsonValue(false));
        QCOMPARE(all[QStringLiteral("playing")].toArray().size(), 1);
        QCOMPARE(all[QStringLiteral("playing")][0][QStringLiteral("output")].toString(),
                 QStringLiteral("Stage"));
        QCOMPARE(all[QStringLiteral("playing")][0][QStringLiteral("left")].toDouble(), 4.0);
        QCOMPARE(all[QStringLiteral("master")].toDouble(), -6.0);

        // A change reaches the page within 100 ms, several in one message.
        QElapsedTimer clock;
        clock.start();
        Q_EMIT m_board.slotChanged(0, 3, SlotState::Playing, QStringLiteral("Song"));
        Q_EMIT m_board.auditionChanged(true);
        Q_EMIT m_board.timeChanged(1, 10, 9);
        Q_EMIT m_board.timeChanged(2, 10, 8);
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 2, 1000);
        QVERIFY(clock.elapsed() < 100);
        const QJsonArray batch = QJsonDocument::fromJson(messages[1].toUtf8()).array();
        QCOMPARE(batch.size(), 3); // the latest time only
        QCOMPARE(batch[0][QStringLiteral("state")].toString(), QStringLiteral("playing"));
        QCOMPARE(batch[1][QStringLiteral("audition")], QJsonValue(true));
        QCOMPARE(batch[2][QStringLiteral("left")].toDouble(), 8.0);

        // What plays goes out as the time does, the newest list only; the master level at once.
        Q_EMIT m_board.masterLevelChanged(-20);
        Q_EMIT m_board.playingChanged({});
        Q_EMIT m_board.playingChanged(m_board.sounds);
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 3, 1000);
        const QJsonArray lists = QJsonDocument::fromJson(messages[2].toUtf8()).array();
        QCOMPARE(lists.size(), 2);
        QCOMPARE(lists[0][QStringLiteral("master")].toDouble(), -20.0);
        QCOMPARE(lists[1][QStringLiteral("t")].toString(), QStringLiteral("playing"));
        QCOMPARE(lists[1][QStringLiteral("playing")].toArray().size(), 1);
        messages.removeAt(2);

        // Commands run on the board; what is none is answered and counted, the page stays.
        m_board.commands.clear();
        page->sendTextMessage(QStringLiteral(R"({"cmd":"press","sheet":0,"slot":3})"));
        page->sendTextMessage(QStringLiteral(R"({"cmd":"press","sheet":0,"slot":99})"));
        page->sendTextMessage(QStringLiteral(R"({"cmd":"play"})"));
        QTRY_COMPARE_WITH_TIMEOUT(m_board.commands,
                                  QStringList({QStringLiteral("press 0 3"), QStringLiteral("play")}), 2000);
        QTRY_COMPARE(messages.size(), 3);
        QVERIFY(messages[2].contains(QLatin1String("\"error\"")));
        QVERIFY(page->state() == QAbstractSocket::ConnectedState);

        // A press whose song cannot play is told to the page that pressed.
        m_board.failure = QStringLiteral("Unable to find /show/gone.wav");
        page->sendTextMessage(QStringLiteral(R"({"cmd":"press","sheet":0,"slot":4})"));
        QTRY_COMPARE(messages.size(), 4);
        m_board.failure.clear();
        const QJsonObject failed = QJsonDocument::fromJson(messages[3].toUtf8()).object();
        QCOMPARE(failed[QStringLiteral("t")].toString(), QStringLiteral("error"));
        QCOMPARE(failed[QStringLiteral("text")].toString(), QStringLiteral("Unable to find /show/gone.wav"));

        // An oversized message closes that page only.
        QSignalSpy closed(page.get(), &QWebSocket::disconnected);
        page->sendTextMessage(QString(4000, QLatin1Char('x')));
        QVERIFY(closed.wait(2000));
    }

    void aBackupFollows()
    {
        const auto frames = [](const QStringList& messages) {
            QList<MainState> states;
            for (const QString& m : messages)
                if (const auto state = MainState::fromJson(QJsonDocument::fromJson(m.toUtf8()).object()))
                    states << *state;
            return states;
        };
        QStringList pageMessages, messages;
        auto page = openPage(pageMessages, QStringLiteral("http://127.0.0.1:%1").arg(m_port));
        auto backup = openPage(messages, QStringLiteral("http://127.0.0.1:%1").arg(m_port));
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 3000);

        // A board that cannot be followed says so.
        backup->sendTextMessage(QStringLiteral(R"({"cmd":"follow"})"));
        QTRY_COMPARE(messages.size(), 2);
        QVERIFY(messages[1].contains(QLatin1String("\"error\"")));

        QSignalSpy followers(m_server.get(), &WebServer::followersChanged);
        m_server->setStateSource([this] {
            MainState state;
            state.masterLevel = m_board.master;
            return state;
        });
        const auto restore = qScopeGuard([this] {
            m_server->setStateSource({});
            m_board.master = 0;
        });
        backup->sendTextMessage(QStringLiteral(R"({"cmd":"follow"})"));
        QTRY_COMPARE(frames(messages).size(), 1); // at once
        QCOMPARE(followers.size(), 1);
        QCOMPARE(m_server->followerCount(), 1);
        QCOMPARE(WebServer::backupText(m_server->followerCount()), QStringLiteral("Backup in step"));

        // A change goes out with the next batch; silence, four times a second.
        QElapsedTimer clock;
        clock.start();
        m_board.master = -12;
        Q_EMIT m_board.masterLevelChanged(-12);
        QTRY_COMPARE_WITH_TIMEOUT(frames(messages).size(), 2, 1000);
        QVERIFY(clock.elapsed() < WebServer::FollowMs);
        QCOMPARE(frames(messages).last().masterLevel, -12.0);
        QTRY_VERIFY_WITH_TIMEOUT(frames(messages).size() >= 5, 1500);
        QVERIFY(frames(pageMessages).isEmpty()); // a page that did not ask gets none

        // How far behind it is, as the backup tells it: held in bounds; a page's word is not a
        // backup's.
        const auto behindAfter = [&](QWebSocket& from, const char* message) {
            from.sendTextMessage(QString::fromLatin1(message));
            QTest::qWait(100);
            return WebServer::backupText(m_server->followerCount(), m_server->followerBehindMs());
        };
        QCOMPARE(behindAfter(*backup, R"({"cmd":"behind","ms":120})"),
                 QStringLiteral("Backup 120 ms behind"));
        QCOMPARE(followers.size(), 2);
        QCOMPARE(behindAfter(*page, R"({"cmd":"behind","ms":9000})"), QStringLiteral("Backup 120 ms behind"));
        QCOMPARE(behindAfter(*backup, R"({"cmd":"behind","ms":-40})"), QStringLiteral("Backup in step"));
        QCOMPARE(behindAfter(*backup, R"({"cmd":"behind","ms":1e12})"),
                 QStringLiteral("Backup %1 ms behind").arg(WebServer::MostBehindMs));
        QCOMPARE(followers.size(), 4);

        backup.reset();
        QTRY_COMPARE(m_server->followerCount(), 0);
        QCOMPARE(followers.size(), 5);
        QCOMPARE(m_server->followerBehindMs(), 0);
        QCOMPARE(WebServer::backupText(0), QStringLiteral("No backup"));
    }

    void socketNeedsOwnOrigin()
    {
        QStringList messages;
        auto page = openPage(messages, QStringLiteral("http://127.0.0.1.evil.example"));
        QSignalSpy closed(page.get(), &QWebSocket::disconnected);
        QVERIFY(closed.wait(2000));
        QVERIFY(messages.isEmpty());
    }

    void quotaSharesConnections()
    {
        using Q = ConnectionQuota;
        std::array<int, 80> ids{};
        const auto id = [&ids](std::size_t i) { return static_cast<Q::Id>(&ids[i]); };
        const auto host = [](int n) { return QHostAddress(QStringLiteral("10.0.0.%1").arg(n)); };
        Q::Id evict = nullptr;
        Q q;
        // Without a session a host holds a few; this computer holds its share, however shown.
        for (std::size_t i = 0; i < Q::MaxUnprovedPerAddress; ++i)
            QVERIFY(q.admit(id(i), host(1), &evict) && !evict);
        QVERIFY(!q.admit(id(10), host(1), &evict));
        for (std::size_t i = 10; i < 10 + Q::MaxPerAddress; ++i) {
            QVERIFY(q.admit(id(i), QHostAddress::LocalHost, &evict));
            q.prove(id(i));
        }
        QVERIFY(!q.admit(id(20), QHostAddress::LocalHost, &evict));
        QVERIFY(q.admit(id(20), host(7), &evict)); // the phone, logged in
        q.prove(id(20));
        for (std::size_t i = 21; q.count() < Q::MaxConnections; ++i)
            QVERIFY(q.admit(id(i), host(10 + int(i % 7)), &evict) && !evict);

        // Full: a newcomer with none takes the place of the oldest of the host holding most...
        QVERIFY(q.admit(id(60), host(99), &evict));
        QCOMPARE(evict, id(0));
        // ...which, holding one fewer than the most now, does not take it back,
        QVERIFY(!q.admit(id(61), host(1), &evict));
        // while the phone always finds room. None of this computer's gave way.
        QVERIFY(q.admit(id(62), host(7), &evict));
        QCOMPARE(evict, id(1));
        QCOMPARE(q.countFrom(QHostAddress::LocalHost), Q::MaxPerAddress);
        QCOMPARE(q.count(), Q::MaxConnections);

        // At its own share the phone's oldest (a page left behind by a reload) makes way.
        Q own;
        for (std::size_t i = 0; i < Q::MaxPerAddress; ++i) {
            QVERIFY(own.admit(id(i), host(7), &evict));
            own.prove(id(i));
        }
        QVERIFY(own.admit(id(70), host(7), &evict));
        QCOMPARE(evict, id(0));
    }

    void halfSentRequestsLeaveRoom()
    {
        // A browser here has loaded the page (this computer needs no passcode: it has shown itself).
        QCOMPARE(exchange(m_port, get("/"), loopback(40)), QByteArray("HTTP/1.1 200 OK"));
        // Hosts that open connections and never finish a request, more than the board holds.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 51; ++i) {
            held.push_back(connectFrom(loopback(2 + i % 17)));
            QVERIFY(held.back());
            held.back()->write("GET / HTTP/1.1\r\nHost: x");
        }
        QTest::qWait(100);
        // That browser, and one new to the board, still load the page.
        QCOMPARE(exchange(m_port, get("/"), loopback(40)), QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(exchange(m_port, get("/"), loopback(41)), QByteArray("HTTP/1.1 200 OK"));
        // Each gets its unfinished request dropped soon.
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(held.cbegin(), held.cend(),
                        [](const auto& s) { return s->state() == QAbstractSocket::UnconnectedState; }),
            WebServer::RequestDeadlineMs + 1000);
    }

    void aHostHoldsItsShareOnly()
    {
        // A program here that opens pages and keeps them (they answer pings) holds its share.
        std::vector<std::unique_ptr<QWebSocket>> idle;
        QStringList messages;
        for (int i = 0; i < WebServer::MaxConnections; ++i) {
            idle.push_back(openPage(messages, QStringLiteral("http://127.0.0.1:%1").arg(m_port)));
            QSignalSpy connected(idle.back().get(), &QWebSocket::connected);
            QSignalSpy closed(idle.back().get(), &QWebSocket::disconnected);
            QTRY_VERIFY(!connected.isEmpty() || !closed.isEmpty());
        }
        QCOMPARE(m_server->pageCount(), ConnectionQuota::MaxPerAddress);
        // Another host loads the page and opens its socket meanwhile.
        QCOMPARE(exchange(m_port, get("/"), loopback(3)), QByteArray("HTTP/1.1 200 OK"));
        QVERIFY(rawPage(loopback(3)));
        QCOMPARE(m_server->pageCount(), ConnectionQuota::MaxPerAddress + 1);
        idle.clear();
        QTRY_COMPARE(m_server->pageCount(), 0);
    }

    void commandsAreReadAtABoundedRate()
    {
        QStringList messages;
        auto page = openPage(messages, QStringLiteral("http://127.0.0.1:%1").arg(m_port));
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 3000);
        m_board.commands.clear();
        const quint64 before = m_server->counters().overRate;
        const QString press = QStringLiteral(R"({"cmd":"press","sheet":0,"slot":1})");
        for (int i = 0; i < 500; ++i)
            page->sendTextMessage(press);
        QTRY_COMPARE(m_board.commands.size() + m_server->counters().overRate - before, 500u);
        QVERIFY2(m_board.commands.size() <= WebServer::CommandBurst + 10,
                 qPrintable(QString::number(m_board.commands.size())));
        // The page stays, and is heard again once it slows down.
        QTest::qWait(1000 / WebServer::CommandsPerSecond * 2);
        m_board.commands.clear();
        page->sendTextMessage(press);
        QTRY_COMPARE(m_board.commands.size(), 1);
        QVERIFY(page->state() == QAbstractSocket::ConnectedState);
    }

    void unmaskedFrameClosesThePage()
    {
        auto page = rawPage(loopback(1));
        QVERIFY(page);
        m_board.commands.clear();
        // Masked frames, one cut in three, are read...
        const QByteArray play = webSocketFrame(R"({"cmd":"play"})");
        for (const QByteArray& piece : {play.left(1), play.mid(1, 5), play.mid(6)}) {
            page->write(piece);
            QTest::qWait(30);
        }
        page->write(webSocketFrame(R"({"cmd":"pause"})"));
        QTRY_COMPARE(m_board.commands, QStringList({QStringLiteral("play"), QStringLiteral("pause")}));
        // ...one without a mask closes the connection unread.
        page->write(webSocketFrame(R"({"cmd":"stop"})", false));
        QTRY_VERIFY_WITH_TIMEOUT(page->state() == QAbstractSocket::UnconnectedState, 3000);
        QCOMPARE(m_board.commands.size(), 2);
    }

    /// The page in a real browser at a phone's 360x740: ten tabs that say which sheet each is,
    /// titles that wrap, every target a finger's size, and a Stop All that one tap does not
    /// fire. Saved as web-360.png in $SONAVEX_WEB_SHOTS when set.
    void thePageFitsAPhone()
    {
        if (const QString why = BrowserPage::missing(); !why.isEmpty())
            QSKIP(qPrintable(why));
        for (int s = 0; s < Board::Sheets; ++s)
            m_board.names[static_cast<std::size_t>(s)] = QStringLiteral("Music Sheet %1").arg(s + 1);
        m_board.names[1] = QStringLiteral("Intro and walk-in music for the doors");
        m_board.states[1] = SlotState::Filled;
        m_board.titles[1] = QStringLiteral("Entrance of the Gladiators, the long version with the encore");
        // Two sounds play, one of them over the song on an output of its own.
        m_board.sounds = {PlayingSound{0, 0, 1, m_board.titles[1], 20, 300, false, QString()},
                          PlayingSound{5, 0, 2, QStringLiteral("Thunder and heavy rain on a tin roof"), 1, 8,
                                       false, QStringLiteral("Stage monitors, channels 5-6")}};
        const auto restore = qScopeGuard([this] {
            m_board.names = {};
            m_board.states[1] = SlotState::Empty;
            m_board.titles[1].clear();
            m_board.sounds.clear();
        });
        BrowserPage browser;
        QVERIFY(browser.ready());
        const auto ask = [&browser](const char* op, const QString& selector,
                                    std::initializer_list<QPair<QString, QJsonValue>> args = {}) {
            QJsonObject o{{QStringLiteral("op"), QLatin1String(op)}, {QStringLiteral("selector"), selector}};
            for (const auto& [k, v] : args)
                o.insert(k, v);
            const QJsonValue answer = browser.ask(o);
            if (answer.isUndefined())
                qWarning("%s %s: %s", op, qPrintable(selector), qPrintable(browser.error()));
            return answer;
        };
        QVERIFY(!ask("open", {},
                     {{QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1/").arg(m_port)},
                      {QStringLiteral("width"), 360},
                      {QStringLiteral("height"), 740},
                      {QStringLiteral("mobile"), true}})
                     .isUndefined());
        QVERIFY(!ask("waitText", QStringLiteral("#grid button[data-slot=\"1\"]"),
                     {{QStringLiteral("text"), QStringLiteral("Gladiators")}})
                     .isUndefined());
        // Saved before the checks: a page that fails them is looked at.
        if (const QString dir = qEnvironmentVariable("SONAVEX_WEB_SHOTS"); !dir.isEmpty())
            QVERIFY(
                !ask("shot", {}, {{QStringLiteral("path"), QString(dir + QStringLiteral("/web-360.png"))}})
                     .isUndefined());
        const auto boxes = [&](const QString& selector) { return ask("boxes", selector).toArray(); };
        const auto box = [](const QJsonValue& b, const char* what) {
            return b[QLatin1String(what)].toDouble();
        };

        QCOMPARE(boxes(QStringLiteral("#playing button")).size(), 2); // a stop for each
        const QJsonArray page = boxes(QStringLiteral("html"));
        QVERIFY2(box(page[0], "sw") <= 360, "the page scrolls sideways");
        for (const QJsonValue& target : boxes(QStringLiteral("button, label")))
            QVERIFY2(
                box(target, "h") >= 44 || box(target, "w") == 0,
                qPrintable(
                    QStringLiteral("%1: %2 px high").arg(target[u"text"].toString()).arg(box(target, "h"))));

        // Each tab starts with its sheet's number, whole in sight; a default name fits whole.
        const QJsonArray tabs = boxes(QStringLiteral("#tabs button"));
        const QJsonArray numbers = boxes(QStringLiteral("#tabs .num"));
        const QJsonArray labels = boxes(QStringLiteral("#tabs .label"));
        QCOMPARE(tabs.size(), Board::Sheets);
        QCOMPARE(numbers.size(), Board::Sheets);
        QSet<QString> texts;
        for (int s = 0; s < Board::Sheets; ++s) {
            texts << labels[s][u"text"].toString();
            const QJsonValue tab = tabs[s], number = numbers[s];
            QVERIFY2(numbers[s][u"text"].toString().startsWith(QString::number(s + 1)),
                     qPrintable(QString::number(s)));
            QVERIFY2(box(number, "x") >= box(tab, "x") &&
                         box(number, "x") + box(number, "w") <= box(tab, "x") + box(tab, "w") &&
                         box(number, "y") >= box(tab, "y") &&
                         box(number, "y") + box(number, "h") <= box(tab, "y") + box(tab, "h"),
                     qPrintable(QStringLiteral("tab %1's number is cut").arg(s + 1)));
            if (s != 1)
                QVERIFY2(box(labels[s], "sw") <= box(labels[s], "cw") &&
                             box(labels[s], "sh") <= box(labels[s], "ch"),
                         qPrintable(QStringLiteral("tab %1 reads only part of %2")
                                        .arg(s + 1)
                                        .arg(labels[s][u"text"].toString())));
        }
        QCOMPARE(texts.size(), Board::Sheets);

        // A long title wraps, and is cut after three lines.
        const QJsonArray titles = boxes(QStringLiteral("#grid .label"));
        const double line = box(titles[1], "lh");
        QVERIFY2(box(titles[1], "h") > 2.5 * line && box(titles[1], "h") < 3.5 * line,
                 qPrintable(QStringLiteral("%1 px against %2 a line").arg(box(titles[1], "h")).arg(line)));

        // Stop All: a tap arms it and says so, and stops nothing (Play, sent after it, arrives
        // alone); a second tap stops all, as does a finger held on it.
        const QString stopAll = QStringLiteral("#stopall");
        m_board.commands.clear();
        QVERIFY(ask("text", stopAll).toString().contains(QLatin1String("tap twice")));
        ask("touch", stopAll);
        QCOMPARE(ask("className", stopAll).toString(), QStringLiteral("armed"));
        ask("touch", QStringLiteral("#play"));
        QTRY_COMPARE(m_board.commands, QStringList{QStringLiteral("play")});
        ask("touch", stopAll);
        QTRY_COMPARE(m_board.commands, (QStringList{QStringLiteral("play"), QStringLiteral("stopall")}));
        QCOMPARE(ask("className", stopAll).toString(), QString());
        ask("hold", stopAll, {{QStringLiteral("ms"), 900}});
        QTRY_COMPARE(m_board.commands.size(), 3);
        QCOMPARE(m_board.commands.last(), QStringLiteral("stopall"));
        QCOMPARE(ask("className", stopAll).toString(), QString()); // the hold's own click arms nothing
        ask("touch", stopAll);
        QCOMPARE(ask("className", stopAll).toString(), QStringLiteral("armed"));
    }
};

QTEST_GUILESS_MAIN(TestWebRemote)
#include "tst_webremote.moc"
