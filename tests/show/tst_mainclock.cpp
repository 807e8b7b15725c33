// SPDX-License-Identifier: GPL-3.0-or-later
// A backup turns the main's time stamps into its own: a state held up on the link (a packet
// lost and sent again) must be known for the old state it is, or the backup would jump back.
#include "show/MainClock.h"

#include <QTest>

class TestMainClock : public QObject {
    Q_OBJECT

    /// The main's clock runs this far ahead of the backup's.
    static constexpr qint64 Ahead = 5'000'000;

private Q_SLOTS:
    void takenOnThisBoardsClock_data()
    {
        QTest::addColumn<QList<qint64>>("delays"); // of each state, one every 250 ms
        QTest::addColumn<qint64>("roundTrip");
        QTest::addColumn<qint64>("lastTakenAgo"); // how long before its arrival the last was taken

        QTest::newRow("a steady link") << QList<qint64>{4, 4, 4, 4} << qint64{8} << qint64{4};
        QTest::newRow("the last held up 200 ms") << QList<qint64>{4, 4, 4, 204} << qint64{8} << qint64{204};
        QTest::newRow("held up twice, then steady")
            << QList<qint64>{4, 404, 604, 4} << qint64{8} << qint64{4};
        QTest::newRow("no round trip measured yet") << QList<qint64>{3, 3, 103} << qint64{-1} << qint64{100};
        QTest::newRow("the first state held up: nothing yet to tell it by")
            << QList<qint64>{300} << qint64{8} << qint64{4};
    }
    void takenOnThisBoardsClock()
    {
        QFETCH(QList<qint64>, delays);
        QFETCH(qint64, roundTrip);
        QFETCH(qint64, lastTakenAgo);

        MainClock clock;
        const qint64 start = 1000;
        if (roundTrip >= 0)
            clock.roundTrip(roundTrip, start);
        qint64 taken = 0;
        qint64 arrived = 0;
        for (qsizetype i = 0; i < delays.size(); ++i) {
            const qint64 at = start + 250 * i;
            arrived = at + delays[i];
            taken = clock.taken(at + Ahead, arrived);
        }
        QCOMPARE(arrived - taken, lastTakenAgo);
    }

    void forgetsWhatTheWindowLeftBehind()
    {
        MainClock clock;
        // A fast moment long ago does not make every later state look held up.
        clock.roundTrip(2, 0);
        QCOMPARE(clock.taken(Ahead, 1), 0);
        clock.roundTrip(40, MainClock::WindowMs + 500);
        const qint64 at = MainClock::WindowMs + 1000;
        QCOMPARE(clock.delayMs(), 20);
        QCOMPARE(clock.taken(at + Ahead, at + 20), at);
        // Nor does a main that restarted with its clock set back.
        clock.reset();
        QCOMPARE(clock.taken(at, at + 20), at + 20);
    }
};

QTEST_GUILESS_MAIN(TestMainClock)
#include "tst_mainclock.moc"
