// SPDX-License-Identifier: GPL-3.0-or-later
// The OSC remote's handling of datagrams, headless: commands reach the board, bad input is
// dropped and counted, network senders need the passcode, subscribers get the state.
#include "fakes/FakeBoard.h"
#include "fakes/OscClient.h"
#include "platform/GuessPause.h"
#include "remote/OscRemote.h"
#include "remote/OscServer.h"

#include <QTest>
#include <QtEndian>

namespace {

const OscPeer Local{0x7F000001, 50000};
const OscPeer Tablet{0xC0A80114, 9000};   // 192.168.1.20
const OscPeer Stranger{0xC0A80115, 9000}; // 192.168.1.21
const QByteArray RightPasscode = OscPacket::message("/sonavex/connect", {QStringLiteral("stage left")});
/// Messages in the whole state: play state, song, time in numbers and as two texts, sheet shown,
/// then each sheet's name and its buttons' colours and titles.
/// With nothing playing: the master level and a count of no sounds besides the song's state.
constexpr int WholeState = 9 + Board::Sheets * (1 + 2 * Board::Slots);
const QByteArray WrongPasscode = OscPacket::message("/sonavex/connect", {QStringLiteral("stage")});

QByteArray msg(const char* path, const QVariantList& args = {})
{
    return OscPacket::message(path, args);
}

QByteArray bundle(const QList<QByteArray>& elements)
{
    QByteArray b("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray& e : elements) {
        char size[4];
        qToBigEndian(static_cast<quint32>(e.size()), size);
        b.append(size, 4).append(e);
    }
    return b;
}

QByteArray nested(int depth)
{
    QByteArray b = msg("/sonavex/play");
    for (int i = 0; i < depth; ++i)
        b = bundle({b});
    return b;
}

struct Sent {
    OscPeer to;
    QByteArray datagram;
};

class RecordingTransport : public OscTransport {
public:
    QList<Sent> sent;
    void send(const OscPeer& to, const QByteArray& datagram) override { sent << Sent{to, datagram}; }

    /// Every message sent to `to`, bundles opened.
    QList<OscMessage> messagesTo(const OscPeer& to) const
    {
        QList<OscMessage> all;
        for (const Sent& s : sent) {
            QList<OscMessage> some;
            if (s.to == to &&
                OscPacket::decode(s.datagram.constData(), static_cast<std::size_t>(s.datagram.size()),
                                  some) == OscDrop::None)
                all << some;
        }
        return all;
    }
};

} // namespace

class TestOscRemote : public QObject {
    Q_OBJECT

    FakeBoard m_board;
    RecordingTransport m_transport;
    std::unique_ptr<OscRemote> m_remote;
    qint64 m_now = 100'000;

    void receive(const QByteArray& datagram, const OscPeer& from = Local)
    {
        m_remote->receive(datagram.constData(), static_cast<std::size_t>(datagram.size()), from);
    }

private Q_SLOTS:
    void init()
    {
        m_board.commands.clear();
        m_transport.sent.clear();
        m_remote = std::make_unique<OscRemote>(m_board, m_transport);
        m_remote->setClock([this] { return m_now; });
        m_remote->setPasscode(QStringLiteral("stage left"));
    }

    void commandsRunTheBoard_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("commands");
        const auto row = [](const char* name, const QByteArray& d, const QStringList& c) {
            QTest::newRow(name) << d << c;
        };
        row("press, counted from 1", msg("/sonavex/sheet/2/button/5/press"), {QStringLiteral("press 1 4")});
        row("queue", msg("/sonavex/sheet/1/button/36/queue"), {QStringLiteral("queue 0 35")});
        row("a tablet's button pressed", msg("/sonavex/sheet/1/button/1/press", {1.0f}),
            {QStringLiteral("press 0 0")});
        row("a tablet's button let go", msg("/sonavex/sheet/1/button/1/press", {0.0f}),
            {QStringLiteral("release 0 0")});
        row("a tablet's queue button let go", msg("/sonavex/sheet/1/button/1/queue", {0.0f}), {});
        row("play", msg("/sonavex/play"), {QStringLiteral("play")});
        row("stop", msg("/sonavex/stop"), {QStringLiteral("stop")});
        row("stop all", msg("/sonavex/stopall", {1}), {QStringLiteral("stopall")});
        row("pause", msg("/sonavex/pause"), {QStringLiteral("pause")});
        row("fade at the chosen speed", msg("/sonavex/fade"), {QStringLiteral("fade 0")});
        row("fade at speed 5", msg("/sonavex/fade", {5}), {QStringLiteral("fade 5")});
        row("show sheet 10", msg("/sonavex/sheet/10/show"), {QStringLiteral("show 9")});
        row("fade all at the chosen speed", msg("/sonavex/fadeall"), {QStringLiteral("fadeall 0")});
        row("fade all at speed 2", msg("/sonavex/fadeall", {2}), {QStringLiteral("fadeall 2")});
        row("master level", msg("/sonavex/master", {-12.5f}), {QStringLiteral("master -12.5")});
        row("master level as a whole number", msg("/sonavex/master", {-6}), {QStringLiteral("master -6")});
        row("stop one sound", msg("/sonavex/stopsound", {3}), {QStringLiteral("stopsound 3")});
        row("stop the show's song by its id", msg("/sonavex/stopsound", {0}),
            {QStringLiteral("stopsound 0")});
        row("a queue built and played in one bundle",
            bundle({msg("/sonavex/sheet/1/button/3/queue"), msg("/sonavex/sheet/1/button/2/queue"),
                    bundle({msg("/sonavex/play")})}),
            {QStringLiteral("queue 0 2"), QStringLiteral("queue 0 1"), QStringLiteral("play")});
        row("bundles nested as deep as allowed", nested(OscPacket::MaxDepth), {QStringLiteral("play")});
        row("this computer needs no passcode", msg("/sonavex/connect", {QStringLiteral("x")}), {});
    }

    void commandsRunTheBoard()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QStringList, commands);
        receive(datagram);
        QCOMPARE(m_board.commands, commands);
        QCOMPARE(m_remote->counters().dropped(), 0u);
        QVERIFY(m_transport.sent.isEmpty());
    }

    void aPressWhoseSongCannotPlayIsAnsweredToItsSender()
    {
        m_board.failure = QStringLiteral("Unable to find /show/gone.wav");
        receive(msg("/sonavex/sheet/2/button/5/press"));
        QCOMPARE(m_board.commands, QStringList{QStringLiteral("press 1 4")});
        const QList<OscMessage> answers = m_transport.messagesTo(Local);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].path, QByteArray("/sonavex/error"));
        QCOMPARE(answers[0].args[0].toString(), m_board.failure);
    }

    void badInputIsDroppedAndCounted_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("counter");
        const QByteArray press = msg("/sonavex/sheet/1/button/1/press");
        QByteArray noIntData = msg("/sonavex/fade", {3});
        noIntData.chop(4);
        QByteArray lyingBundle = bundle({press});
        qToBigEndian(quint32{400}, lyingBundle.data() + 16);
        QList<QByteArray> many(OscPacket::MaxMessages + 1, press);
        const auto row = [](const char* name, const QByteArray& d, const char* counter) {
            QTest::newRow(name) << d << QString::fromLatin1(counter);
        };
        row("empty", QByteArray(), "malformed");
        row("not OSC", QByteArray("hello world\n"), "malformed");
        row("cut short", press.left(press.size() - 4), "malformed");
        row("a tag without its data", noIntData, "malformed");
        row("a bundle's element longer than the bundle", lyingBundle, "malformed");
        row("oversized", msg("/sonavex/play", {QString(5000, QLatin1Char('x'))}), "oversized");
        row("bundles nested too deep", nested(OscPacket::MaxDepth + 1), "tooDeep");
        row("too many messages", bundle(many), "tooMany");
        row("press with a text", msg("/sonavex/sheet/1/button/1/press", {QStringLiteral("go")}),
            "badArguments");
        row("press with two numbers", msg("/sonavex/sheet/1/button/1/press", {1, 1}), "badArguments");
        row("fade at speed 7", msg("/sonavex/fade", {7}), "badArguments");
        row("fade at speed 2.5", msg("/sonavex/fade", {2.5f}), "badArguments");
        row("fade all at speed 0", msg("/sonavex/fadeall", {0}), "badArguments");
        row("fade all with a text", msg("/sonavex/fadeall", {QStringLiteral("fast")}), "badArguments");
        row("master without a level", msg("/sonavex/master"), "badArguments");
        row("master with a text", msg("/sonavex/master", {QStringLiteral("-6")}), "badArguments");
        row("stop sound without an id", msg("/sonavex/stopsound"), "badArguments");
        row("stop sound -1", msg("/sonavex/stopsound", {-1}), "badArguments");
        row("stop sound 1.5", msg("/sonavex/stopsound", {1.5f}), "badArguments");
        row("subscribe yes", msg("/sonavex/subscribe", {QStringLiteral("yes")}), "badArguments");
        row("subscribe without a number", msg("/sonavex/subscribe"), "badArguments");
        row("subscribe to port 70000", msg("/sonavex/subscribe", {1, 70000}), "badArguments");
        row("refresh to port 0", msg("/sonavex/refresh", {0}), "badArguments");
        row("refresh with two numbers", msg("/sonavex/refresh", {1, 9021}), "badArguments");
        row("sheet 11", msg("/sonavex/sheet/11/button/1/press"), "outOfRange");
        row("sheet 0", msg("/sonavex/sheet/0/show"), "outOfRange");
        row("button 37", msg("/sonavex/sheet/1/button/37/queue"), "outOfRange");
        row("an unknown command", msg("/sonavex/jump"), "unknown");
        row("a button's unknown command", msg("/sonavex/sheet/1/button/1/hold"), "unknown");
        row("a sheet that is no number", msg("/sonavex/sheet/one/show"), "unknown");
        row("another program's address", msg("/cue/1/go"), "unknown");
    }

    void badInputIsDroppedAndCounted()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, counter);
        receive(datagram);
        const OscCounters& c = m_remote->counters();
        const QHash<QString, quint64> counts{{QStringLiteral("malformed"), c.malformed},
                                             {QStringLiteral("oversized"), c.oversized},
                                             {QStringLiteral("tooDeep"), c.tooDeep},
                                             {QStringLiteral("tooMany"), c.tooMany},
                                             {QStringLiteral("badArguments"), c.badArguments},
                                             {QStringLiteral("outOfRange"), c.outOfRange},
                                             {QStringLiteral("unknown"), c.unknown}};
        QCOMPARE(counts.value(counter), 1u);
        QCOMPARE(c.dropped(), 1u);
        QVERIFY(m_board.commands.isEmpty());
        // Only an address the board does not know is answered, with a short text.
        const QList<OscMessage> answers = m_transport.messagesTo(Local);
        QCOMPARE(answers.size(), counter == QLatin1String("unknown") ? 1 : 0);
        if (!answers.isEmpty()) {
            QCOMPARE(answers[0].path, QByteArray("/sonavex/error"));
            QVERIFY(answers[0].args[0].toString().startsWith(QLatin1String("unknown address /")));
        }
    }

    void errorsAreAnsweredAtABoundedRate()
    {
        for (int i = 0; i < 100; ++i)
            receive(msg("/sonavex/jump"));
        QCOMPARE(m_transport.sent.size(), OscRemote::AnswersPerSecond);
        m_now += 1000;
        receive(msg("/sonavex/jump"));
        QCOMPARE(m_transport.sent.size(), OscRemote::AnswersPerSecond + 1);
    }

    void aSenderFromTheNetworkNeedsThePasscode()
    {
        const QByteArray press = msg("/sonavex/sheet/1/button/1/press");
        receive(press, Tablet);
        QVERIFY(m_board.commands.isEmpty());
        QVERIFY(m_transport.sent.isEmpty()); // ignored, not answered
        QCOMPARE(m_remote->counters().notAdmitted, 1u);

        // A wrong passcode is denied at once, and the address's next try is not read for a second.
        receive(msg("/sonavex/connect", {QStringLiteral("stage")}), Tablet);
        QCOMPARE(m_transport.messagesTo(Tablet).size(), 1);
        QCOMPARE(m_transport.messagesTo(Tablet)[0].path, QByteArray("/sonavex/denied"));
        m_now += OscRemote::DeniedPauseMs - 1;
        receive(msg("/sonavex/connect", {QStringLiteral("stage left")}), Tablet);
        receive(press, Tablet);
        QCOMPARE(m_remote->counters().paused, 2u);
        QVERIFY(m_board.commands.isEmpty());
        // Another host is not held up by it.
        receive(msg("/sonavex/connect", {QStringLiteral("stage left")}), Stranger);
        receive(press, Stranger);
        QCOMPARE(m_board.commands, QStringList{QStringLiteral("press 0 0")});

        m_now += 1;
        receive(bundle({msg("/sonavex/connect", {QStringLiteral("stage left")}), press}), Tablet);
        QCOMPARE(m_board.commands.size(), 2);
        receive(msg("/sonavex/play"), Tablet); // admitted for the run, from any port
        QCOMPARE(m_board.commands.last(), QStringLiteral("play"));
        QCOMPARE(m_remote->counters().denied, 1u);
    }

    void withoutAPasscodeNoSenderFromTheNetworkGetsIn()
    {
        m_remote->setPasscode(QString());
        receive(msg("/sonavex/connect", {QString()}), Tablet);
        receive(msg("/sonavex/connect", {QStringLiteral("stage left")}), Stranger);
        QCOMPARE(m_remote->counters().denied, 2u);
        receive(msg("/sonavex/play", {}), {Tablet.address, 1});
        QCOMPARE(m_remote->counters().paused, 1u);
    }

    void aSubscriberGetsTheWholeStateThenEachChange()
    {
        m_board.states[1 * Board::Slots + 4] = SlotState::Next;
        m_board.titles[1 * Board::Slots + 4] = QStringLiteral("Überture");
        m_board.shownPlayState = TPlayState::psPlaying;
        m_board.now = NowPlaying{1, 3, QStringLiteral("Fanfare"), QStringLiteral("/f.wav")};
        m_board.at = 1.5;
        m_board.songLength = 4.0;
        m_board.auditioning = true;
        receive(msg("/sonavex/subscribe", {1}));
        for (const Sent& s : std::as_const(m_transport.sent)) {
            QVERIFY(s.datagram.startsWith("#bundle"));
            QVERIFY(static_cast<std::size_t>(s.datagram.size()) <= OscRemote::MaxDatagram);
        }
        QList<OscMessage> all = m_transport.messagesTo(Local);
        QCOMPARE(all.size(), WholeState);
        QHash<QByteArray, QVariantList> last;
        for (const OscMessage& m : all)
            last[m.path] = m.args;
        QCOMPARE(last["/sonavex/state"], QVariantList{QStringLiteral("playing")});
        QCOMPARE(last["/sonavex/audition"], QVariantList{1});
        QCOMPARE(last["/sonavex/now"], (QVariantList{2, 4, QStringLiteral("Fanfare")}));
        QCOMPARE(last["/sonavex/time"], (QVariantList{1.5f, 2.5f}));
        QCOMPARE(last["/sonavex/time/left"], QVariantList{QStringLiteral("0:02.5")});
        QCOMPARE(last["/sonavex/sheet"], QVariantList{1});
        QCOMPARE(last["/sonavex/sheet/2/name"], QVariantList{QStringLiteral("Sheet 2")});
        QCOMPARE(last["/sonavex/sheet/2/button/5/state"], QVariantList{3});
        QCOMPARE(last["/sonavex/sheet/2/button/5/title"], QVariantList{QStringLiteral("Überture")});
        QCOMPARE(last["/sonavex/sheet/1/button/1/state"], QVariantList{0});

        // Changes go out together once the event loop turns.
        m_transport.sent.clear();
        Q_EMIT m_board.slotChanged(0, 0, SlotState::Playing, QStringLiteral("A"));
        Q_EMIT m_board.playStateChanged(TPlayState::psPaused);
        Q_EMIT m_board.timeChanged(2.0, 4.0, 2.0);
        Q_EMIT m_board.auditionChanged(false);
        QVERIFY(m_transport.sent.isEmpty());
        QTRY_COMPARE(m_transport.sent.size(), 1);
        all = m_transport.messagesTo(Local);
        QCOMPARE(all.size(), 7);
        QCOMPARE(all[6].path, QByteArray("/sonavex/audition"));
        QCOMPARE(all[6].args, QVariantList{0});
        QCOMPARE(all[0].path, QByteArray("/sonavex/sheet/1/button/1/state"));
        QCOMPARE(all[0].args, QVariantList{4});
        QCOMPARE(all[2].args, QVariantList{QStringLiteral("paused")});
        QCOMPARE(all[3].args, (QVariantList{2.0f, 2.0f}));

        receive(msg("/sonavex/subscribe", {0}));
        QCOMPARE(m_remote->subscriberCount(), 0);
    }

    void aSubscriberIsToldWhatPlaysAndTheMasterLevel()
    {
        const PlayingSound song{0, 0, 2, QStringLiteral("Overture"), 30, 90, false, QString()};
        const PlayingSound layer{4,   -1, -1,    QStringLiteral("Thunder"),
                                 1.5, 6,  false, QStringLiteral("Stage")};
        m_board.sounds = {song, layer};
        m_board.master = -9;
        receive(msg("/sonavex/subscribe", {1}));
        QList<OscMessage> all = m_transport.messagesTo(Local);
        QCOMPARE(all.size(), WholeState + 2);
        const auto args = [](const QList<OscMessage>& messages, const QByteArray& path) {
            QList<QVariantList> found;
            for (const OscMessage& m : messages)
                if (m.path == path)
                    found << m.args;
            return found;
        };
        QCOMPARE(args(all, "/sonavex/master"), QList<QVariantList>{{-9.0f}});
        QCOMPARE(args(all, "/sonavex/playing/count"), QList<QVariantList>{{2}});
        QCOMPARE(args(all, "/sonavex/playing"),
                 (QList<QVariantList>{
                     {0, 1, 3, QStringLiteral("Overture"), 30.0f, 90.0f, 60.0f, QString()},
                     {4, 0, 0, QStringLiteral("Thunder"), 1.5f, 6.0f, 4.5f, QStringLiteral("Stage")}}));

        // Many changes in one turn of the event loop go out once, as they are at its end.
        m_transport.sent.clear();
        m_board.sounds = {song};
        for (int i = 0; i < 5; ++i)
            Q_EMIT m_board.playingChanged(m_board.sounds);
        Q_EMIT m_board.masterLevelChanged(-12);
        QTRY_COMPARE(m_transport.sent.size(), 1);
        all = m_transport.messagesTo(Local);
        QCOMPARE(args(all, "/sonavex/playing/count"), QList<QVariantList>{{1}});
        QCOMPARE(args(all, "/sonavex/playing").size(), 1);
        QCOMPARE(args(all, "/sonavex/master"), QList<QVariantList>{{-12.0f}});
        m_board.sounds.clear();
        m_board.master = 0;
    }

    void timeIsSentAsText_data()
    {
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("left");
        QTest::addColumn<QString>("elapsedText");
        QTest::addColumn<QString>("leftText");
        const auto row = [](const char* name, double position, double left, const char* e, const char* l) {
            QTest::newRow(name) << position << left << QString::fromLatin1(e) << QString::fromLatin1(l);
        };
        row("a key's label, not 38.686237", 1.3, 38.686237, "0:01", "0:39");
        row("a whole second left", 2.0, 38.0, "0:02", "0:38");
        row("a hair over a whole second", 2.0, 38.0000001, "0:02", "0:38");
        row("ten seconds left", 0, 10.0, "0:00", "0:10");
        row("under ten seconds", 20.6, 9.4, "0:20", "0:09.4");
        row("a hair under ten seconds", 20.0, 9.96, "0:20", "0:10");
        row("the last tenth", 29.95, 0.05, "0:29", "0:00.1");
        row("nothing plays", 0, 0, "0:00", "0:00");
        row("over an hour", 3599.999, 3665.0, "59:59", "61:05");
        row("below zero", -0.2, -1.0, "0:00", "0:00");
    }

    void timeIsSentAsText()
    {
        QFETCH(double, position);
        QFETCH(double, left);
        QFETCH(QString, elapsedText);
        QFETCH(QString, leftText);
        receive(msg("/sonavex/subscribe", {1}));
        m_transport.sent.clear();
        Q_EMIT m_board.timeChanged(position, position + left, left);
        QTRY_COMPARE(m_transport.sent.size(), 1);
        QHash<QByteArray, QVariantList> got;
        for (const OscMessage& m : m_transport.messagesTo(Local))
            got[m.path] = m.args;
        QCOMPARE(got["/sonavex/time/elapsed"], QVariantList{elapsedText});
        QCOMPARE(got["/sonavex/time/left"], QVariantList{leftText});
    }

    void aSubscriberMayNameThePortItListensOn()
    {
        receive(msg("/sonavex/subscribe", {1, 9021}));
        QVERIFY(m_transport.messagesTo(Local).isEmpty());
        QCOMPARE(m_transport.messagesTo({Local.address, 9021}).size(), WholeState);
        // A refresh names that port too; one for a port that holds no subscription is refused.
        m_transport.sent.clear();
        m_now += OscRemote::WholeStateMs;
        receive(msg("/sonavex/refresh", {9021}));
        QCOMPARE(m_transport.messagesTo({Local.address, 9021}).size(), WholeState);
        receive(msg("/sonavex/refresh"));
        const QList<OscMessage> refused = m_transport.messagesTo(Local);
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused[0].args, QVariantList{QStringLiteral("not subscribed")});
        receive(msg("/sonavex/subscribe", {0, 9021}));
        QCOMPARE(m_remote->subscriberCount(), 0);
    }

    void subscribersAreBoundedAndLapseUnlessRenewed()
    {
        for (quint16 port = 1; port <= OscRemote::MaxSubscribers + 1; ++port)
            receive(msg("/sonavex/subscribe", {1}), {Local.address, port});
        QCOMPARE(m_remote->subscriberCount(), OscRemote::MaxSubscribers);
        const QList<OscMessage> refused =
            m_transport.messagesTo({Local.address, OscRemote::MaxSubscribers + 1});
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused[0].path, QByteArray("/sonavex/error"));

        // A renewal only renews: eight remotes renewing every 30 s would otherwise get some 730
        // messages each time. The whole state goes again on request, at most once a second.
        m_transport.sent.clear();
        m_now += OscRemote::SubscriptionMs / 2;
        receive(msg("/sonavex/subscribe", {1}), {Local.address, 1});
        QVERIFY(m_transport.sent.isEmpty());
        receive(msg("/sonavex/refresh"), {Local.address, 1});
        QCOMPARE(m_transport.messagesTo({Local.address, 1}).size(), WholeState);
        m_transport.sent.clear();
        receive(msg("/sonavex/refresh"), {Local.address, 1});
        QVERIFY(m_transport.sent.isEmpty());

        m_now += OscRemote::SubscriptionMs / 2;
        Q_EMIT m_board.sheetShown(3);
        QTRY_COMPARE(m_transport.sent.size(), 1);
        QCOMPARE(m_transport.sent[0].to.port, quint16{1});
        QCOMPARE(m_remote->subscriberCount(), 1);
    }

    void aFullListMakesRoomForAnAddressThatHoldsNone_data()
    {
        QTest::addColumn<QList<int>>("places");  ///< the last byte of 127.0.0.x of ports 1, 2, ...
        QTest::addColumn<QList<int>>("renewed"); ///< ports renewed afterwards, in this order
        QTest::addColumn<int>("newcomer");       ///< 127.0.0.x subscribing from port 100
        QTest::addColumn<int>("displaced");      ///< port that made room; 0: refused; -1: none needed
        const QList<int> one(OscRemote::MaxSubscribers, 1);
        QTest::newRow("the place renewed longest ago") << one << QList<int>{} << 2 << 1;
        QTest::newRow("renewals keep their places") << one << QList<int>{1, 3, 2} << 2 << 4;
        QTest::newRow("the newcomer's address holds a place")
            << QList<int>{1, 1, 1, 1, 1, 1, 1, 2} << QList<int>{} << 2 << 0;
        QTest::newRow("the oldest of another address")
            << QList<int>{1, 1, 1, 1, 3, 3, 3, 3} << QList<int>{1, 2, 3, 4} << 2 << 5;
        QTest::newRow("a place free") << one.mid(1) << QList<int>{} << 1 << -1;
    }

    void aFullListMakesRoomForAnAddressThatHoldsNone()
    {
        QFETCH(QList<int>, places);
        QFETCH(QList<int>, renewed);
        QFETCH(int, newcomer);
        QFETCH(int, displaced);
        const auto peer = [](int host, int port) {
            return OscPeer{0x7F000000u + static_cast<quint32>(host), static_cast<quint16>(port)};
        };
        const QByteArray subscribe = msg("/sonavex/subscribe", {1});
        for (int i = 0; i < places.size(); ++i, m_now += 100)
            receive(subscribe, peer(places[i], i + 1));
        for (const int port : std::as_const(renewed)) {
            m_now += 100;
            receive(subscribe, peer(places[port - 1], port));
        }
        m_transport.sent.clear();
        receive(subscribe, peer(newcomer, 100));
        const QList<OscMessage> answer = m_transport.messagesTo(peer(newcomer, 100));
        QVERIFY(!answer.isEmpty());
        QCOMPARE(answer[0].path,
                 displaced == 0 ? QByteArray("/sonavex/error") : QByteArray("/sonavex/state"));
        QCOMPARE(m_remote->subscriberCount(),
                 displaced == -1 ? places.size() + 1 : OscRemote::MaxSubscribers);
        QCOMPARE(m_remote->counters().displaced, displaced > 0 ? 1u : 0u);

        m_transport.sent.clear();
        Q_EMIT m_board.sheetShown(3);
        QTRY_COMPARE(m_transport.sent.size(), m_remote->subscriberCount());
        for (int i = 0; i < places.size(); ++i)
            QCOMPARE(m_transport.messagesTo(peer(places[i], i + 1)).isEmpty(), i + 1 == displaced);
    }

    void aSubscriberWhosePortIsClosedIsDroppedAtOnce()
    {
        // For real: Linux answers a datagram to a closed port on 127.0.0.1 with "port unreachable".
        OscServer server(m_board);
        quint16 port = 29500;
        while (port < 29600 && !server.listen({port, false, QString()}))
            ++port;
        QVERIFY(server.listening());
        quint16 closed = 0;
        {
            const OscClient gone;
            closed = gone.port();
        }
        OscClient live;
        QVERIFY(live.send(msg("/sonavex/subscribe", {1, closed}), port));
        QVERIFY(live.send(msg("/sonavex/subscribe", {1}), port));
        const QByteArray last = "/sonavex/sheet/10/button/36/title"; // of the whole state
        QVERIFY(!live.receiveUntilPath(last, 2000).isEmpty());
        QTRY_COMPARE(server.remote().subscriberCount(), 1);
        QCOMPARE(server.remote().counters().unreachable, 1u);

        // A remote that quits without unsubscribing, ahead of a live one in the list: the live
        // one loses nothing to the error the other left on the socket.
        auto quits = std::make_unique<OscClient>();
        QVERIFY(quits->send(msg("/sonavex/subscribe", {1}), port));
        QVERIFY(!quits->receiveUntilPath(last, 2000).isEmpty());
        QCOMPARE(server.remote().subscriberCount(), 2);
        quits.reset();
        for (int sheet = 1; sheet <= 3; ++sheet) {
            Q_EMIT m_board.sheetShown(sheet);
            QVERIFY(!live.receiveUntilPath("/sonavex/sheet", 2000).isEmpty());
        }
        QCOMPARE(server.remote().subscriberCount(), 1);
        QCOMPARE(server.remote().counters().unreachable, 2u);
        QCOMPARE(server.unsent(), 0u);
    }

    void guessingFromManyAddressesSlowsForTheWholeRemote()
    {
        // 17 hosts each try a wrong passcode as often as they are heard, for a minute.
        constexpr int Hosts = 17;
        constexpr qint64 Minute = 60'000;
        const auto host = [](int i) { return OscPeer{0x0A000001u + static_cast<quint32>(i), 9000}; };
        const qint64 start = m_now;
        for (; m_now < start + Minute; m_now += 10)
            for (int i = 0; i < Hosts; ++i)
                receive(WrongPasscode, host(i));
        const double perSecond = static_cast<double>(m_remote->counters().denied) * 1000.0 / Minute;
        qInfo("wrong passcodes heard from %d hosts: %.2f a second", Hosts, perSecond);
        QVERIFY2(perSecond < 1.0, qPrintable(QString::number(perSecond)));

        // The operator's phone, which has not guessed wrong, gets in at once all the same.
        const OscPeer phone{0xC0A80120, 9000};
        receive(RightPasscode, phone);
        receive(msg("/sonavex/play"), phone);
        QCOMPARE(m_board.commands, QStringList{QStringLiteral("play")});
        // A guesser with the right passcode waits out the pause, which is a few seconds at most.
        receive(RightPasscode, host(0));
        receive(msg("/sonavex/stop"), host(0));
        QCOMPARE(m_board.commands.size(), 1);
        m_now += GuessPause::MaxMs;
        receive(RightPasscode, host(0));
        receive(msg("/sonavex/stop"), host(0));
        QCOMPARE(m_board.commands.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestOscRemote)
#include "tst_oscremote.moc"
