// SPDX-License-Identifier: GPL-3.0-or-later
// The board run over OSC on 127.0.0.1 as the operator turns it on (port stored under "Remote"),
// with the real sound output: a press heard at the null sink, a queue built and played, and
// what a subscriber is told meanwhile.
#include "SoundBoardFixture.h"
#include "app/RemoteControl.h"
#include "fakes/OscClient.h"
#include "platform/IniRegistry.h"
#include "remote/OscServer.h"

#include <QTest>

namespace {
constexpr double HzA = 1234.0;
constexpr double HzB = 1789.0;
} // namespace

class TestOscPlayback : public QObject, SoundBoardFixture {
    Q_OBJECT

    std::unique_ptr<RemoteControl> m_remote;
    quint16 m_port = 0;

private Q_SLOTS:
    void initTestCase()
    {
        startSound();
        if (QTest::currentTestFailed())
            return;
        openRemoteShow(HzA, 0.8, HzB);
        if (QTest::currentTestFailed())
            return;

        // Turned on as the dialog stores it, on a port free a moment ago.
        m_port = freePort<OscServer>(29020);
        RemoteSettings settings;
        settings.oscPort = m_port;
        settings.save(*m_registry);
        m_remote = std::make_unique<RemoteControl>(*m_core, *m_registry);
        m_remote->start();
        QVERIFY(m_remote->osc().listening());
    }

    void cleanupTestCase()
    {
        m_remote.reset();
        stopSound();
    }

    void init() { QTRY_VERIFY(idle()); }

    void aPressOverOscIsHeard()
    {
        OscClient client;
        QVERIFY(client.send(OscPacket::message("/sonavex/sheet/1/button/1/press"), m_port));
        const auto heard = m_recorder->during(400, 100);
        QVERIFY2(heardTone(heard, HzA), qPrintable(QString::number(SinkRecorder::toneDb(heard, HzA))));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);
    }

    void aQueueBuiltOverOscPlaysInOrderAndASubscriberIsTold()
    {
        OscClient client;
        QVERIFY(client.send(OscPacket::message("/sonavex/subscribe", {1}), m_port));
        // The time also as two texts; the master level, and how many sounds play (none yet).
        const int whole = 9 + Board::Sheets * (1 + 2 * Board::Slots);
        QCOMPARE(
            client.receiveUntil([whole](const QList<OscMessage>& all) { return all.size() >= whole; }, 3000)
                .size(),
            whole);

        const std::size_t from = m_recorder->frames();
        client.send(OscPacket::message("/sonavex/sheet/1/button/1/queue"), m_port);
        client.send(OscPacket::message("/sonavex/sheet/1/button/2/queue"), m_port);
        client.send(OscPacket::message("/sonavex/play"), m_port);
        const QList<OscMessage> told = client.receiveFor(1300);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 3000);

        // Both songs were heard, A before B.
        const auto heard = m_recorder->since(from);
        const auto a = SinkRecorder::toneTimeline(heard, HzA);
        const auto b = SinkRecorder::toneTimeline(heard, HzB);
        QVERIFY2(SinkRecorder::countOn(a) >= 50 && SinkRecorder::countOn(b) >= 50,
                 qPrintable(QStringLiteral("A %1, B %2 pieces")
                                .arg(SinkRecorder::countOn(a))
                                .arg(SinkRecorder::countOn(b))));
        QVERIFY(SinkRecorder::gapPieces(a, b) >= 0);

        const auto first = [&told](const QByteArray& p, const QVariantList& args) {
            return std::find_if(told.cbegin(), told.cend(),
                                [&](const OscMessage& m) { return m.path == p && m.args == args; }) -
                   told.cbegin();
        };
        const auto queued = first("/sonavex/sheet/1/button/2/state", {2});
        const auto playing = first("/sonavex/state", {QStringLiteral("playing")});
        const auto nowA = first("/sonavex/now", {1, 1, QStringLiteral("Song A")});
        const auto aGreen = first("/sonavex/sheet/1/button/1/state", {4});
        const auto bYellow = first("/sonavex/sheet/1/button/2/state", {3});
        QVERIFY(queued < told.size() && playing < told.size() && nowA < told.size());
        QVERIFY(aGreen < told.size() && bYellow < told.size());
        QVERIFY(queued < playing);
        // At least four times a second while playing, in numbers and as a key's text.
        const auto times = std::count_if(told.cbegin() + playing, told.cend(),
                                         [](const OscMessage& m) { return m.path == "/sonavex/time"; });
        QVERIFY2(times >= 4, qPrintable(QString::number(times)));
        const auto texts = std::count_if(told.cbegin() + playing, told.cend(), [](const OscMessage& m) {
            return m.path == "/sonavex/time/left" && m.types == "s";
        });
        QCOMPARE(texts, times);
        client.send(OscPacket::message("/sonavex/subscribe", {0}), m_port);
    }
};

QTEST_MAIN(TestOscPlayback)
#include "tst_oscplayback.moc"
