// SPDX-License-Identifier: GPL-3.0-or-later
// The OSC server on real UDP on 127.0.0.1: commands in, answers and state out, a port in use.
#include "fakes/FakeBoard.h"
#include "fakes/OscClient.h"
#include "remote/OscServer.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

/// A port free on 127.0.0.1 a moment ago.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    ::close(fd);
    return ntohs(at.sin_port);
}

} // namespace

class TestOscServer : public QObject {
    Q_OBJECT

    FakeBoard m_board;
    std::unique_ptr<OscServer> m_server;
    quint16 m_port = 0;

private Q_SLOTS:
    void init()
    {
        m_board.commands.clear();
        m_server = std::make_unique<OscServer>(m_board);
        m_port = freePort();
        QString why;
        QVERIFY2(m_server->listen({m_port, false, QString()}, &why), qPrintable(why));
    }

    void cleanup() { m_server.reset(); }

    void commandsArriveAndUnknownAddressesAreAnswered()
    {
        OscClient client;
        QVERIFY(client.bound());
        QVERIFY(client.send(OscPacket::message("/sonavex/sheet/3/button/7/press"), m_port));
        QVERIFY(client.send(OscPacket::message("/sonavex/fade", {2}), m_port));
        QTRY_COMPARE(m_board.commands, (QStringList{QStringLiteral("press 2 6"), QStringLiteral("fade 2")}));
        QVERIFY(client.send(OscPacket::message("/sonavex/jump"), m_port));
        const QList<OscMessage> answer = client.receiveUntilPath("/sonavex/error", 2000);
        QCOMPARE(answer.size(), 1);
        QCOMPARE(answer[0].args[0].toString(), QStringLiteral("unknown address /sonavex/jump"));
    }

    void aSubscriberHearsTheStateAndTheTimeWhilePlaying()
    {
        OscClient client;
        QVERIFY(client.send(OscPacket::message("/sonavex/subscribe", {1}), m_port));
        const QList<OscMessage> whole = client.receiveUntil(
            [](const QList<OscMessage>& all) {
                return all.size() >= 4 + Board::Sheets * (1 + 2 * Board::Slots);
            },
            3000);
        QCOMPARE(whole.size(), 4 + Board::Sheets * (1 + 2 * Board::Slots));

        // The board tells the time four times a second while a song plays.
        QTimer clock;
        double at = 0;
        connect(&clock, &QTimer::timeout, this, [&] {
            at += 0.25;
            Q_EMIT m_board.timeChanged(at, 10.0, 10.0 - at);
        });
        Q_EMIT m_board.playStateChanged(TPlayState::psPlaying);
        clock.start(250);
        const QList<OscMessage> during = client.receiveFor(1100);
        clock.stop();
        QCOMPARE(during.first().path, QByteArray("/sonavex/state"));
        QCOMPARE(during.first().args, QVariantList{QStringLiteral("playing")});
        const auto times = std::count_if(during.cbegin(), during.cend(),
                                         [](const OscMessage& m) { return m.path == "/sonavex/time"; });
        QVERIFY2(times >= 4, qPrintable(QString::number(times)));
        QCOMPARE(m_server->unsent(), 0u);
    }

    void aPortInUseIsRefusedAndTheOtherServerRunsOn()
    {
        OscServer second(m_board);
        QString why;
        QVERIFY(!second.listen({m_port, true, QStringLiteral("p")}, &why));
        QVERIFY(!second.listening());
        QVERIFY(!why.isEmpty());
        // Off, then on again on the same port.
        QVERIFY(m_server->listen({0, false, QString()}));
        QVERIFY(!m_server->listening());
        QVERIFY(second.listen({m_port, false, QString()}));
        QCOMPARE(second.port(), m_port);
    }
};

QTEST_GUILESS_MAIN(TestOscServer)
#include "tst_oscserver.moc"
