// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/SlotState.h"

#include <QTest>

Q_DECLARE_METATYPE(SlotState)

class TestSlotState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aSlotShowsWhereItsSongIsInTheQueue_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("queue");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<bool>("detached");
        QTest::addColumn<SlotState>("state");
        const QStringList abc{QStringLiteral("/s/a.wav"), QStringLiteral("/s/b.wav"),
                              QStringLiteral("/s/c.wav")};
        const auto row = [&](const char* name, const char* file, const QStringList& queue, bool playing,
                             bool detached, SlotState state) {
            QTest::newRow(name) << QString::fromLatin1(file) << queue << playing << detached << state;
        };
        row("not queued", "/s/d.wav", abc, true, false, SlotState::Filled);
        row("the head, playing", "/s/a.wav", abc, true, false, SlotState::Playing);
        row("the second, playing", "/s/b.wav", abc, true, false, SlotState::Next);
        row("further on", "/s/c.wav", abc, true, false, SlotState::Queued);
        row("the head while paused or stopped", "/s/a.wav", abc, false, false, SlotState::Queued);
        row("the second while stopped", "/s/b.wav", abc, false, false, SlotState::Queued);
        row("letter case ignored", "/S/B.WAV", abc, true, false, SlotState::Next);
        // The playing song a (not in the queue any more) plays on: b and c are next and queued.
        const QStringList bc{QStringLiteral("/s/b.wav"), QStringLiteral("/s/c.wav")};
        row("taken out, still playing", "/s/a.wav", bc, true, true, SlotState::Playing);
        row("taken out: the head is next", "/s/b.wav", bc, true, true, SlotState::Next);
        row("taken out: the second is queued", "/s/c.wav", bc, true, true, SlotState::Queued);
        row("taken out and paused", "/s/a.wav", bc, false, true, SlotState::Filled);
    }

    void aSlotShowsWhereItsSongIsInTheQueue()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, queue);
        QFETCH(bool, playing);
        QFETCH(bool, detached);
        QFETCH(SlotState, state);
        QCOMPARE(slotStateOf(file, {queue, playing, detached, QStringLiteral("/s/a.wav")}), state);
    }

    void eachStateHasItsCaptionColour_data()
    {
        QTest::addColumn<SlotState>("state");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("empty") << SlotState::Empty << QColor(0, 0, 0);
        QTest::newRow("filled") << SlotState::Filled << QColor(0, 0, 0);
        QTest::newRow("playing") << SlotState::Playing << QColor(0, 128, 0);
        QTest::newRow("next") << SlotState::Next << QColor(255, 255, 0);
        QTest::newRow("queued") << SlotState::Queued << QColor(255, 0, 0);
    }

    void eachStateHasItsCaptionColour()
    {
        QFETCH(SlotState, state);
        QFETCH(QColor, colour);
        QCOMPARE(captionColour(state), colour);
    }
};

QTEST_GUILESS_MAIN(TestSlotState)
#include "tst_slotstate.moc"
