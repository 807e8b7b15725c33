// SPDX-License-Identifier: GPL-3.0-or-later
// A backup board linked to a main one over the main's web remote on 127.0.0.1: the backup's
// show, over fake players, plays what the main plays, and finds the main again after the link
// dropped.
#include "app/MainBoardLink.h"
#include "app/frmBackup.h"
#include "core/BackupFollower.h"
#include "fakes/FakeBoard.h"
#include "fakes/ShowFixture.h"
#include "songs/ShowCopy.h"
#include "songs/ShowDigest.h"
#include "web/WebServer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TestBackupLink : public QObject, ShowFixture {
    Q_OBJECT

    FakeBoard m_main;
    int m_mainSlot = -1; ///< what the main plays on its first sheet
    double m_mainPosition = 0.0;
    std::unique_ptr<WebServer> m_server;
    quint16 m_port = 0;
    std::unique_ptr<BackupFollower> m_follower;
    std::unique_ptr<MainBoardLink> m_link;

    [[nodiscard]] int backupSlot() const { return BackupFollower::stateOf(*m_core, 0).song.slot; }

    /// A press on the main: its state changes, and the backup's show follows within a second.
    void pressOnMain(int slot)
    {
        m_mainSlot = slot;
        QElapsedTimer clock;
        clock.start();
        Q_EMIT m_main.playingChanged({});
        QTRY_COMPARE_WITH_TIMEOUT(backupSlot(), slot, 1000);
        QVERIFY(clock.elapsed() < 1000);
    }

private Q_SLOTS:
    void init()
    {
        setUp();
        m_mainSlot = -1;
        m_mainPosition = 0.0;
        m_server = std::make_unique<WebServer>(m_main);
        m_server->setStateSource([this] {
            MainState state;
            state.song = {0, m_mainSlot, m_mainPosition, false, 0};
            state.takenMs = QDateTime::currentMSecsSinceEpoch(); // the main stands still meanwhile
            return state;
        });
        for (m_port = 28220; m_port < 28320 && !m_server->listen({m_port, false, QStringLiteral("cue")});
             ++m_port) {
        }
        QVERIFY(m_server->listening());
        m_follower = std::make_unique<BackupFollower>(*m_core);
        m_link = std::make_unique<MainBoardLink>(*m_follower, *m_core);
        m_follower->follow();
        m_link->connectTo(QStringLiteral("127.0.0.1:%1").arg(m_port), QStringLiteral("cue"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->followerCount(), 1, 3000);
    }

    void cleanup()
    {
        m_link.reset();
        m_follower.reset();
        m_server.reset();
        tearDown();
    }

    void followsThePresses()
    {
        pressOnMain(2);
        pressOnMain(1);
        QVERIFY(m_link->delayMs() < 100);
    }

    void theMainSaysHowFarBehindItsBackupIs()
    {
        QStringList said;
        QObject listening;
        connect(m_server.get(), &WebServer::followersChanged, &listening,
                [&](int count) { said << WebServer::backupText(count, m_server->followerBehindMs()); });
        // Joined 12.5 s into the song: that far behind at first, in step at the next state.
        m_mainPosition = 12.5;
        pressOnMain(1);
        QTRY_VERIFY2_WITH_TIMEOUT(said.size() >= 2 && said.last() == QLatin1String("Backup in step"),
                                  qPrintable(said.join(QLatin1String(" | "))), 3000);
        QVERIFY2(said.first().startsWith(QLatin1String("Backup 12")) &&
                     said.first().endsWith(QLatin1String(" ms behind")),
                 qPrintable(said.join(QLatin1String(" | "))));
    }

    void aRefusedPasscodeIsSaidOnce()
    {
        // A main that refuses every passcode, as its login form answers a wrong one.
        QTcpServer refusing;
        QVERIFY(refusing.listen(QHostAddress::LocalHost));
        int tries = 0;
        connect(&refusing, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = refusing.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&tries, socket] {
                if (!socket->readAll().contains("passcode="))
                    return;
                ++tries;
                socket->write("HTTP/1.1 303 See Other\r\nLocation: /?wrong\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
        QSignalSpy news(m_core.get(), &ShowCore::newsSaid);
        QElapsedTimer clock;
        clock.start();
        m_link->connectTo(QStringLiteral("127.0.0.1:%1").arg(refusing.serverPort()), QStringLiteral("guess"));
        QTRY_COMPARE_WITH_TIMEOUT(tries, 2, MainBoardLink::refusedRetryMs() + 1000);
        QVERIFY(clock.elapsed() >= MainBoardLink::refusedRetryMs());
        int said = 0;
        for (const QList<QVariant>& n : news)
            said += n.at(1).toString() == QLatin1String("Main board refused the passcode");
        QCOMPARE(said, 1);
    }

    void dialogReadsTheAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("readable");
        QTest::newRow("none") << QString() << true;
        QTest::newRow("host and port") << QStringLiteral(" 192.168.1.20:8020 ") << true;
        QTest::newRow("a name") << QStringLiteral("main.local:8020") << true;
        QTest::newRow("no port") << QStringLiteral("192.168.1.20") << false;
        QTest::newRow("port 0") << QStringLiteral("192.168.1.20:0") << false;
        QTest::newRow("port too high") << QStringLiteral("192.168.1.20:70000") << false;
        QTest::newRow("no host") << QStringLiteral(":8020") << false;
    }

    void dialogReadsTheAddress()
    {
        QFETCH(QString, address);
        QFETCH(bool, readable);
        TfrmBackup dialog(nullptr, address);
        QCOMPARE(dialog.BitBtn1->isEnabled(), readable);
        if (readable)
            QCOMPARE(dialog.address(), address.trimmed());
    }

    void bothBoardsSayWhichSlotsOfTheirShowsDiffer()
    {
        // The main's show: this one with sheet 1 button 3 and sheet 2 button 1 otherwise.
        QStringList mainShow = ShowDigest::of(m_core->songInfo());
        mainShow[2] = QStringLiteral("0123456789ab");
        mainShow[36] = QStringLiteral("ba9876543210");
        QString backupSaid;
        connect(m_core.get(), &ShowCore::newsSaid, this, [&](const QString& topic, const QString& text) {
            if (topic == MainBoardLink::ShowNews)
                backupSaid = text;
        });
        connect(m_core.get(), &ShowCore::newsCleared, this, [&](const QString& topic) {
            if (topic == MainBoardLink::ShowNews)
                backupSaid.clear();
        });
        QSignalSpy told(m_server.get(), &WebServer::followerShowDiffers);
        m_server->setShowDigest(mainShow);
        // As a backup links: its show compared at once, and the main told.
        m_link->connectTo(QStringLiteral("127.0.0.1:%1").arg(m_port), QStringLiteral("cue"));
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 3000);
        QCOMPARE(told.last().first().value<QList<int>>(), (QList<int>{2, 36}));
        QCOMPARE(told.last().last().toInt(), 2);
        QCOMPARE(backupSaid, QStringLiteral("The show here differs from the main board's in 2 slots: "
                                            "sheet 1 button 3, sheet 2 button 1"));
        // Another show altogether: the main is told how many, and a few by name, in a message
        // short enough for it to read.
        mainShow.fill(QStringLiteral("0123456789ab"));
        m_server->setShowDigest(mainShow);
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 2, 3000);
        QCOMPARE(told.last().last().toInt(), 360);
        QCOMPARE(told.last().first().value<QList<int>>().size(), MainBoardLink::ListedSlots);
        QCOMPARE(m_server->followerCount(), 1);
        // The main's show saved the same as this one's: said no more on either side.
        m_server->setShowDigest(ShowDigest::of(m_core->songInfo()));
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 3, 3000);
        QCOMPARE(told.last().last().toInt(), 0);
        QCOMPARE(backupSaid, QString());
    }

    void copiesTheMainsShowWhenAskedKeepingItsOwn()
    {
        QHash<QString, QString> news;
        connect(m_core.get(), &ShowCore::newsSaid, this,
                [&news](const QString& topic, const QString& text) { news.insert(topic, text); });
        QJsonArray sheets;
        for (int sheet = 0; sheet < Board::Sheets; ++sheet)
            sheets.append(QStringLiteral("Act %1").arg(sheet + 1));
        m_server->setShowCopySource([&sheets] {
            return QJsonObject{
                {QStringLiteral("t"), QStringLiteral("showcopy")},
                {QStringLiteral("sheets"), sheets},
                {QStringLiteral("slots"),
                 QJsonArray{QJsonObject{{QStringLiteral("at"), 4},
                                        {QStringLiteral("title"), QStringLiteral("From main")},
                                        {QStringLiteral("file"), QStringLiteral("/main/x.wav")}}}}};
        });
        const QString ownTitle = m_core->songInfo().title(0, 0);
        QVERIFY(!ownTitle.isEmpty());
        m_link->copyShow();
        QTRY_VERIFY_WITH_TIMEOUT(news.contains(MainBoardLink::CopyNews), 2000);
        const QString said = news.value(MainBoardLink::CopyNews);
        QVERIFY2(
            said.startsWith(QStringLiteral("Show copied from the main board; this board's own is kept as ")),
            qPrintable(said));
        QCOMPARE(m_core->songInfo().title(0, 4), QStringLiteral("From main"));
        QVERIFY(m_core->songInfo().title(0, 0) != ownTitle);
        QCOMPARE(m_core->sheetName(2), QStringLiteral("Act 3"));
        // Its own show, as a save would have written it, beside its song file.
        QVERIFY(QFileInfo(said.mid(said.lastIndexOf(QLatin1Char(' ')) + 1)).size() > 0);

        // Not linked: said so, and nothing changes.
        m_link->stop();
        m_link->copyShow();
        QCOMPARE(news.value(MainBoardLink::CopyNews),
                 QStringLiteral("No show was copied: this board is not linked to a main board"));
        QCOMPARE(m_core->songInfo().title(0, 4), QStringLiteral("From main"));
    }

    void linksAgainAfterADrop()
    {
        pressOnMain(2);
        m_server->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!m_link->linked(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(m_follower->mainLost(), 3000);
        // Back having moved on meanwhile: linked again, and followed again only when asked.
        // (A main back in step is followed on: the follower's own tests, on a clock of theirs.)
        m_mainSlot = 1;
        QVERIFY(m_server->listen({m_port, false, QStringLiteral("cue")}));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->followerCount(), 1, 3000);
        QTest::qWait(300);
        QCOMPARE(backupSlot(), 2);
        QVERIFY(m_follower->mainLost());
        m_follower->follow();
        pressOnMain(3);
    }
};

QTEST_MAIN(TestBackupLink)
#include "tst_backuplink.moc"
