// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MasterLevelControl.h"
#include "app/PlayingStrip.h"
#include "fakes/FakeBoard.h"
#include "fakes/PaintCounter.h"

#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

PlayingSound sound(int id, const QString& title, double position, double length, const QString& output = {})
{
    PlayingSound s;
    s.id = id;
    s.title = title;
    s.position = position;
    s.length = length;
    s.output = output;
    return s;
}

} // namespace

class TestPlayingStrip : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowWhatPlaysAndAreKeptWhileItPlays()
    {
        FakeBoard board;
        QWidget window;
        auto* strip = new PlayingStrip(board, &window);
        strip->resize(700, PlayingRow::Height * PlayingStrip::VisibleRows);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(strip->isHidden()); // nothing plays

        board.sounds = {sound(0, u"Overture"_s, 10, 100), sound(2, u"Thunder"_s, 1, 8, u"Stage left"_s)};
        Q_EMIT board.playingChanged(board.sounds);
        QVERIFY(strip->isVisible());
        QCOMPARE(strip->rows().size(), 2);
        QCOMPARE(strip->height(), 2 * PlayingRow::Height);
        const QList<PlayingRow*> made = strip->rows();
        QCOMPARE(made[1]->sound().output, u"Stage left"_s);
        QCOMPARE(made[0]->leftText(), u"-01:30"_s);
        QVERIFY(!made[0]->finalSeconds());
        QVERIFY(made[1]->finalSeconds()); // 7 s left: red

        // A tick moves the positions: the same rows repaint, nothing is made or laid out again;
        // a row whose sound did not move is not painted.
        QTest::qWait(100); // the rows' first paints are done
        PaintCounter first(made[0]);
        PaintCounter second(made[1]);
        board.sounds[1].position = 2;
        const int paints = first.paintsAfter([&] { Q_EMIT board.playingChanged(board.sounds); });
        QCOMPARE(strip->rows(), made);
        QCOMPARE(paints, 0);
        QVERIFY(second.paints > 0);
        QCOMPARE(made[1]->leftText(), u"-00:06"_s);

        // A row's stop stops its own sound.
        QTest::mouseClick(made[1]->stopButton(), Qt::LeftButton);
        QCOMPARE(board.commands, QStringList{u"stopsound 2"_s});

        // The first sound ends: the other moves up into the first row, the second goes.
        board.sounds.removeFirst();
        Q_EMIT board.playingChanged(board.sounds);
        QCOMPARE(strip->rows().size(), 1);
        QCOMPARE(strip->rows()[0], made[0]);
        QCOMPARE(strip->rows()[0]->sound().id, 2);
        Q_EMIT board.playingChanged({});
        QVERIFY(strip->isHidden());
    }

    void manySoundsScrollWithinThreeRows()
    {
        FakeBoard board;
        for (int id = 0; id < 5; ++id)
            board.sounds << sound(id, u"Sound %1"_s.arg(id), 0, 60);
        PlayingStrip strip(board, nullptr);
        QCOMPARE(strip.rows().size(), 5);
        QCOMPARE(strip.height(), PlayingStrip::VisibleRows * PlayingRow::Height);
        QCOMPARE(strip.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }

    void theMasterLevelFollowsTheBoardAndSetsIt()
    {
        FakeBoard board;
        board.master = -12;
        MasterLevelControl master(board, nullptr);
        QCOMPARE(master.slider()->value(), -12);
        QCOMPARE(master.valueLabel()->text(), u"-12 dB"_s);
        QVERIFY(master.meter()->isHidden()); // no peak source: no meter

        // The board's own level is shown, and not set again.
        Q_EMIT board.masterLevelChanged(-30);
        QCOMPARE(master.slider()->value(), -30);
        QCOMPARE(master.valueLabel()->text(), u"-30 dB"_s);
        QVERIFY(board.commands.isEmpty());

        master.slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(board.commands, QStringList{u"master -29"_s});
        QCOMPARE(master.valueLabel()->text(), u"-29 dB"_s);
    }

    void theMeterShowsPeaksInDecibelsAndFallsBackSlowly_data()
    {
        QTest::addColumn<QList<double>>("peaks");
        QTest::addColumn<double>("shown");
        QTest::newRow("full scale") << QList<double>{1.0} << 0.0;
        QTest::newRow("a tenth") << QList<double>{0.1} << -20.0;
        QTest::newRow("clipped holds at the top") << QList<double>{2.0} << 6.0206;
        QTest::newRow("silence") << QList<double>{0.0} << LevelMeter::FloorDb;
        QTest::newRow("falls after a peak")
            << QList<double>{1.0, 0.0, 0.0}
            << -2 * LevelMeter::FallDbPerSecond * MasterLevelControl::PollMs / 1000;
        QTest::newRow("a new peak above the fall") << QList<double>{0.1, 1.0} << 0.0;
    }

    void theMeterShowsPeaksInDecibelsAndFallsBackSlowly()
    {
        QFETCH(QList<double>, peaks);
        QFETCH(double, shown);
        LevelMeter meter(nullptr);
        for (const double peak : std::as_const(peaks))
            meter.addPeak(peak, MasterLevelControl::PollMs / 1000.0);
        QVERIFY2(qAbs(meter.shownDb() - shown) < 0.01, qPrintable(QString::number(meter.shownDb())));
    }

    void theMeterReadsItsSourceWhileOneIsGiven()
    {
        FakeBoard board;
        MasterLevelControl master(board, nullptr);
        int reads = 0;
        master.setPeakSource([&reads] {
            ++reads;
            return 0.5;
        });
        QVERIFY(!master.meter()->isHidden());
        QTRY_COMPARE(master.meter()->shownDb(), 20 * std::log10(0.5));
        master.setPeakSource({});
        const int before = reads;
        QTest::qWait(3 * MasterLevelControl::PollMs);
        QCOMPARE(reads, before);
        QVERIFY(master.meter()->isHidden());
    }

    void theMasterLevelKeepsClearOfTheToolBarsButtons()
    {
        FakeBoard board;
        QWidget bar;
        bar.resize(718, 47);
        QList<QToolButton*> buttons;
        for (const int left : {5, 46, 88, 129, 171, 212, 254, 300, 662}) {
            auto* b = new QToolButton(&bar);
            b->setGeometry(left, 4, left == 300 ? 80 : 38, 38); // Audition's is wide
            buttons << b;
        }
        auto* master = new MasterLevelControl(board, &bar);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        const auto clear = [&] {
            for (const QToolButton* b : std::as_const(buttons))
                if (b->geometry().intersects(master->geometry()))
                    return false;
            return master->isVisible() && bar.rect().contains(master->geometry());
        };
        QVERIFY(clear());
        QCOMPARE(master->width(), 662 - 380 - 8); // the room between Audition and Help
        // Touch-sized buttons in a row: the control moves into the room they leave.
        int left = 5;
        for (QToolButton* b : std::as_const(buttons)) {
            b->setGeometry(left, 4, 64, 64);
            left += 70;
        }
        bar.resize(718, 73);
        QTRY_VERIFY(master->isHidden()); // no room left in a window this narrow
        bar.resize(1000, 73);
        QTRY_VERIFY(clear());
    }
};

QTEST_MAIN(TestPlayingStrip)
#include "tst_playingstrip.moc"
