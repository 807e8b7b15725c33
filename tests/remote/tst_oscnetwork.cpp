// SPDX-License-Identifier: GPL-3.0-or-later
// A sender on another host, for real: the server's socket in one network namespace, the
// sender's in another, joined by a veth pair (made by osc-netns.sh, which runs this test).
#include "fakes/FakeBoard.h"
#include "fakes/NetNamespace.h"
#include "fakes/OscClient.h"
#include "remote/OscServer.h"

#include <QTest>

namespace {

constexpr quint16 Port = 9020;

quint32 ipv4(const char* variable)
{
    in_addr a{};
    return inet_pton(AF_INET, qgetenv(variable).constData(), &a) == 1 ? ntohl(a.s_addr) : 0;
}

} // namespace

class TestOscNetwork : public QObject {
    Q_OBJECT

    FakeBoard m_board;
    std::unique_ptr<OscServer> m_network;  ///< every address, with a passcode
    std::unique_ptr<OscServer> m_loopback; ///< this computer only
    std::unique_ptr<OscClient> m_sender;
    quint32 m_boardIp = 0;

    /// Commands the board got within `msecs`.
    QStringList commandsWithin(int msecs)
    {
        QTest::qWait(msecs);
        return std::exchange(m_board.commands, {});
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("SONAVEX_NETNS_BOARD"))
            QSKIP("run by osc-netns.sh, which makes the namespaces");
        m_boardIp = ipv4("SONAVEX_NETNS_BOARD_IP");
        const QByteArray own = "/proc/self/ns/net";
        const int home = ::open(own.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(home >= 0);
        QVERIFY(enterNetNamespace(qgetenv("SONAVEX_NETNS_BOARD")));
        m_network = std::make_unique<OscServer>(m_board);
        QVERIFY(m_network->listen({Port, true, QStringLiteral("stage left")}));
        m_loopback = std::make_unique<OscServer>(m_board);
        QVERIFY(m_loopback->listen({Port + 1, false, QString()}));
        QVERIFY(enterNetNamespace(qgetenv("SONAVEX_NETNS_SENDER")));
        m_sender = std::make_unique<OscClient>(ipv4("SONAVEX_NETNS_SENDER_IP"), 0);
        QVERIFY(m_sender->bound());
        QVERIFY(::setns(home, CLONE_NEWNET) == 0);
        ::close(home);
    }

    void cleanupTestCase()
    {
        m_sender.reset();
        m_network.reset();
        m_loopback.reset();
    }

    void aSenderFromTheNetworkGetsInWithThePasscodeOnly()
    {
        const QByteArray press = OscPacket::message("/sonavex/sheet/1/button/2/press");
        QVERIFY(m_sender->send(press, Port, m_boardIp));
        QVERIFY(m_sender->receiveFor(300).isEmpty()); // ignored, not answered
        QCOMPARE(commandsWithin(0), QStringList());

        QVERIFY(m_sender->send(OscPacket::message("/sonavex/connect", {QStringLiteral("stage")}), Port,
                               m_boardIp));
        const QList<OscMessage> answer = m_sender->receiveUntilPath("/sonavex/denied", 2000);
        QCOMPARE(answer.size(), 1);
        QCOMPARE(answer[0].path, QByteArray("/sonavex/denied"));
        // The right passcode at once is not read: guessing takes a second a try.
        QVERIFY(m_sender->send(OscPacket::message("/sonavex/connect", {QStringLiteral("stage left")}), Port,
                               m_boardIp));
        QVERIFY(m_sender->send(press, Port, m_boardIp));
        QCOMPARE(commandsWithin(300), QStringList());
        QTest::qWait(static_cast<int>(OscRemote::DeniedPauseMs));

        QVERIFY(m_sender->send(OscPacket::message("/sonavex/connect", {QStringLiteral("stage left")}), Port,
                               m_boardIp));
        QVERIFY(m_sender->send(press, Port, m_boardIp));
        QTRY_COMPARE(m_board.commands, QStringList{QStringLiteral("press 0 1")});
        m_board.commands.clear();

        QVERIFY(m_sender->send(OscPacket::message("/sonavex/subscribe", {1}), Port, m_boardIp));
        QVERIFY(!m_sender->receiveUntilPath("/sonavex/state", 2000).isEmpty());
        QCOMPARE(m_network->remote().counters().denied, 1u);
    }

    void aServerForThisComputerOnlyIsNotReachedFromTheNetwork()
    {
        QVERIFY(m_sender->send(OscPacket::message("/sonavex/play"), Port + 1, m_boardIp));
        QCOMPARE(commandsWithin(300), QStringList());
        QCOMPARE(m_loopback->remote().counters().received, 0u);
    }
};

QTEST_GUILESS_MAIN(TestOscNetwork)
#include "tst_oscnetwork.moc"
