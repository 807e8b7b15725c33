// SPDX-License-Identifier: GPL-3.0-or-later
// A show run through the board's commands alone, as a remote control runs it, and what the
// board tells while it runs.
#include "app/BoardControl.h"
#include "fakes/BoardFixture.h"
#include "platform/Timer.h"

#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(SlotState)
Q_DECLARE_METATYPE(TPlayState)

class TestBoardControl : public QObject, BoardFixture {
    Q_OBJECT

    std::unique_ptr<BoardControl> m_board;

    /// The states of slots 0..count-1 of the first sheet, as the board tells them.
    QList<SlotState> states(int count) const
    {
        QList<SlotState> out;
        for (int k = 0; k < count; ++k)
            out << m_board->slotState(0, k);
        return out;
    }

private Q_SLOTS:
    void init()
    {
        setUp();
        m_board = std::make_unique<BoardControl>(*m_form);
    }

    void cleanup()
    {
        m_board.reset();
        tearDown();
    }

    void aShowRunsThroughTheCommandsAsThroughTheButtons()
    {
        using S = SlotState;
        QSignalSpy changed(m_board.get(), &Board::slotChanged);
        m_board->queue(0, 2);
        m_board->queue(0, 1);
        m_board->queue(0, 3);
        settle();
        QCOMPARE(states(5), (QList<S>{S::Filled, S::Queued, S::Queued, S::Queued, S::Filled}));
        QCOMPARE(changed.count(), 3); // one for each slot that changed, told after the commands
        m_board->play();
        settle();
        QCOMPARE(m_player->fileName(), m_files[2]);
        QCOMPARE(states(4), (QList<S>{S::Filled, S::Next, S::Playing, S::Queued}));
        QCOMPARE(m_board->nowPlaying(), (NowPlaying{0, 2, QStringLiteral("C"), m_files[2]}));
        // The buttons show the same: one source of state.
        QCOMPARE(colours(4), (QList<QColor>{Black, Yellow, Green, Red}));

        m_board->stopSong();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        m_board->pause();
        settle();
        QCOMPARE(m_board->playState(), TPlayState::psPaused);
        m_board->play();
        settle();
        QCOMPARE(m_board->playState(), TPlayState::psPlaying);
        m_board->fade(5);
        QCOMPARE(m_form->FadeSetting, 5);
        QVERIFY(m_form->FadeTimer->Enabled());
        m_board->stopAll();
        settle();
        QCOMPARE(m_board->playState(), TPlayState::psStopped);
        QCOMPARE(states(4), (QList<S>(4, S::Filled)));
        QCOMPARE(m_board->nowPlaying(), NowPlaying{});
    }

    void aPressPlaysItsSlotOnAnySheetAndLeavesTheShownOne()
    {
        putSong(m_form->songInfo(), 6, 35, QStringLiteral("Finale"), m_files[3]);
        QSignalSpy shown(m_board.get(), &Board::sheetShown);
        m_board->press(6, 35);
        settle();
        QCOMPARE(m_player->fileName(), m_files[3]);
        QCOMPARE(m_board->slotState(6, 35), SlotState::Playing);
        QCOMPARE(m_board->shownSheet(), 0);
        QCOMPARE(m_board->nowPlaying().title, QStringLiteral("Finale"));
        m_board->showSheet(6);
        settle();
        QCOMPARE(m_form->Tabs->currentIndex(), 6);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 6);
    }

    void commandsTheBoardWouldRefuseDoNothing()
    {
        // Play with nothing queued, Stop and Pause with nothing playing, places off the board.
        m_board->play();
        m_board->stopSong();
        m_board->stopAll();
        m_board->pause();
        m_board->press(10, 0);
        m_board->queue(0, 36);
        m_board->press(0, 20); // an empty slot
        m_board->fade(6);
        m_board->showSheet(-1);
        settle();
        QVERIFY(m_player->log.isEmpty());
        QVERIFY(m_form->PlayQueue.isEmpty());
        QVERIFY(!m_form->FadeTimer->Enabled());
        QCOMPARE(m_form->Tabs->currentIndex(), 0);
    }

    void theTimeLeftIsToldFourTimesASecondWhilePlaying()
    {
        m_player->durations.insert(m_files[0], 61.0);
        QSignalSpy time(m_board.get(), &Board::timeChanged);
        m_board->press(0, 0);
        m_player->setPosition(20.5);
        QTest::qWait(1100);
        QVERIFY2(time.count() >= 4, qPrintable(QString::number(time.count())));
        const QList<QVariant> last = time.last();
        QCOMPARE(last.at(0).toDouble(), 20.5);
        QCOMPARE(last.at(1).toDouble(), 61.0);
        QCOMPARE(last.at(2).toDouble(), 40.5);
        // Stopped: told once, and then no more.
        m_board->stopAll();
        settle();
        QCOMPARE(time.last().at(2).toDouble(), 0.0);
        const auto told = time.count();
        QTest::qWait(600);
        QCOMPARE(time.count(), told);
    }

    void tabNamesAndTitlesAreTold()
    {
        QSignalSpy names(m_board.get(), &Board::sheetNameChanged);
        QSignalSpy slots(m_board.get(), &Board::slotChanged);
        m_form->setTabCaption(3, QStringLiteral("Act Two"));
        putSong(m_form->songInfo(), 0, 7, QStringLiteral("Bows"), m_files[1]);
        m_form->RefreshButtons(0);
        settle();
        QCOMPARE(names.count(), 1);
        QCOMPARE(names.at(0).at(1).toString(), QStringLiteral("Act Two"));
        QCOMPARE(m_board->sheetName(3), QStringLiteral("Act Two"));
        QCOMPARE(slots.count(), 1);
        QCOMPARE(slots.at(0).at(3).toString(), QStringLiteral("Bows"));
    }
};

QTEST_MAIN(TestBoardControl)
#include "tst_boardcontrol.moc"
