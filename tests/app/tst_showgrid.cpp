// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShowGrid.h"
#include "fakes/FakeBoard.h"
#include "fakes/WidgetShot.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

/// The contrast of two colours as the web's accessibility rules reckon it (1 to 21).
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestShowGrid : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeBoard> m_board;
    std::unique_ptr<ShowGrid> m_grid;

    void showAt(QSize size)
    {
        m_grid->resize(size);
        m_grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
    }

private Q_SLOTS:
    void init()
    {
        m_board = std::make_unique<FakeBoard>();
        for (int k = 0; k < Board::Slots; ++k) {
            m_board->titles[static_cast<std::size_t>(k)] = QStringLiteral("Song %1").arg(k + 1);
            m_board->states[static_cast<std::size_t>(k)] = SlotState::Filled;
        }
        m_grid = std::make_unique<ShowGrid>(
            *m_board, [](int, int slot) { return slot == 0 ? QStringLiteral("F1") : QString(); });
    }

    void cleanup()
    {
        m_grid.reset();
        m_board.reset();
    }

    void tilesFillTheWindowAtAnySize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("small") << QSize(480, 320);
        QTest::newRow("800x600") << QSize(800, 600);
        QTest::newRow("1200x900") << QSize(1200, 900);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
        QTest::newRow("tall") << QSize(600, 1000);
    }

    void tilesFillTheWindowAtAnySize()
    {
        QFETCH(QSize, size);
        showAt(size);
        const QRect all = m_grid->tileRect(0).united(m_grid->tileRect(Board::Slots - 1));
        const QRect strip = m_grid->stripRect();
        // No margin wider than the gaps between the tiles, and the strip on top.
        const int gap = m_grid->tileRect(1).left() - m_grid->tileRect(0).right() - 1;
        QVERIFY(gap >= 1 && gap <= 8);
        QVERIFY(all.left() <= gap && size.width() - 1 - all.right() <= gap + 1);
        QVERIFY(all.top() - strip.bottom() - 1 <= gap && size.height() - 1 - all.bottom() <= gap + 1);
        QCOMPARE(strip.width(), size.width());
        QVERIFY(strip.height() <= size.height() / 9);
        // Tiles of one size, to the pixel, that never overlap.
        for (int k = 0; k < Board::Slots; ++k) {
            const QRect t = m_grid->tileRect(k);
            QVERIFY(std::abs(t.width() - m_grid->tileRect(0).width()) <= 1);
            QVERIFY(std::abs(t.height() - m_grid->tileRect(0).height()) <= 1);
            if (k % ShowGrid::Columns > 0)
                QVERIFY(!t.intersects(m_grid->tileRect(k - 1)));
            if (k >= ShowGrid::Columns)
                QVERIFY(!t.intersects(m_grid->tileRect(k - ShowGrid::Columns)));
        }
        QCOMPARE(m_grid->tileRect(Board::Slots - 1).center().x() > size.width() * 5 / 6, true);
    }

    void eachTileHasItsStatesColourAndReadableText_data()
    {
        QTest::addColumn<SlotState>("state");
        QTest::addColumn<QColor>("face"); // as the web page draws it
        QTest::newRow("empty") << SlotState::Empty << QColor(0x26, 0x26, 0x26);
        QTest::newRow("filled") << SlotState::Filled << QColor(0x44, 0x44, 0x44);
        QTest::newRow("playing") << SlotState::Playing << QColor(0x00, 0x80, 0x00);
        QTest::newRow("next") << SlotState::Next << QColor(0xff, 0xff, 0x00);
        QTest::newRow("queued") << SlotState::Queued << QColor(0xff, 0x00, 0x00);
    }

    void eachTileHasItsStatesColourAndReadableText()
    {
        QFETCH(SlotState, state);
        QFETCH(QColor, face);
        showAt(QSize(1200, 900));
        m_board->at = 10;
        m_board->songLength = 75;
        Q_EMIT m_board->slotChanged(0, 7, state, QStringLiteral("Overture"));
        const QImage image = shot(*m_grid);
        const QRect tile = m_grid->tileRect(7);
        QCOMPARE(image.pixelColor(tile.topLeft() + QPoint(2, 2)), face);
        QCOMPARE(image.pixelColor(tile.bottomRight() - QPoint(2, 2)), face);
        // Large text readable on its face; the title is drawn in that colour.
        const QColor text = ShowGrid::textColour(state);
        QVERIFY2(contrast(text, face) >= 3.0, qPrintable(QString::number(contrast(text, face))));
        int textPixels = 0;
        for (int y = tile.top(); y <= tile.bottom(); ++y)
            for (int x = tile.left(); x <= tile.right(); ++x)
                textPixels += image.pixelColor(x, y) == text;
        QVERIFY(textPixels > 30);
        // A neighbour keeps its own colour.
        QCOMPARE(image.pixelColor(m_grid->tileRect(8).topLeft() + QPoint(2, 2)),
                 ShowGrid::tileColour(SlotState::Filled));
    }

    void titlesFitInTwoLinesAndLongOnesAreCut_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("cut");
        const QString longTitle =
            QStringLiteral("The Quite Extraordinarily Long Title Of The Overture To The "
                           "Second Act Finale Reprise With Choir And Brass");
        QTest::newRow("short, large") << QSize(1200, 900) << QStringLiteral("Intro") << 1 << false;
        QTest::newRow("two words") << QSize(800, 600) << QStringLiteral("Walk-in Music Loop") << 2 << false;
        QTest::newRow("long at 1920") << QSize(1920, 1080) << longTitle << 2 << true;
        QTest::newRow("long at 800") << QSize(800, 600) << longTitle << 2 << true;
        QTest::newRow("one long word, small")
            << QSize(480, 320) << QStringLiteral("Supercalifragilisticexpialidocious") << 2 << true;
    }

    void titlesFitInTwoLinesAndLongOnesAreCut()
    {
        QFETCH(QSize, size);
        QFETCH(QString, title);
        QFETCH(int, lines);
        QFETCH(bool, cut);
        showAt(size);
        Q_EMIT m_board->slotChanged(0, 3, SlotState::Filled, title);
        const ShowGrid::TitleLayout layout = m_grid->titleOf(3);
        QVERIFY(layout.lines.size() <= lines);
        QCOMPARE(layout.cut, cut);
        QCOMPARE(layout.lines.last().endsWith(QChar(0x2026)), cut);
        const QFontMetrics fm(layout.font);
        for (const QString& line : layout.lines)
            QVERIFY(fm.horizontalAdvance(line) < m_grid->tileRect(3).width());
        // A short title gets a face much larger than the sound buttons' 12 pixels.
        if (!cut && lines == 1)
            QVERIFY(layout.font.pixelSize() >= 36);
    }

    void theKeyboardMovesAMarkedFocusAndPressesLikeTheButtons()
    {
        showAt(QSize(800, 600));
        QSignalSpy menus(m_grid.get(), &ShowGrid::menuRequested);
        m_grid->setFocus();
        QTest::keyClick(m_grid.get(), Qt::Key_Right);
        QTest::keyClick(m_grid.get(), Qt::Key_Down);
        QCOMPARE(m_grid->focusedSlot(), 7);
        QTest::keyClick(m_grid.get(), Qt::Key_Up);
        QTest::keyClick(m_grid.get(), Qt::Key_Left);
        QTest::keyClick(m_grid.get(), Qt::Key_Left); // the edge keeps it
        QCOMPARE(m_grid->focusedSlot(), 0);
        QTest::keyClick(m_grid.get(), Qt::Key_Down);
        QImage image = shot(*m_grid);
        QCOMPARE(image.pixelColor(m_grid->tileRect(6).topLeft() + QPoint(1, 1)), ShowGrid::focusColour());
        QVERIFY(image.pixelColor(m_grid->tileRect(0).topLeft() + QPoint(1, 1)) != ShowGrid::focusColour());

        QTest::keyClick(m_grid.get(), Qt::Key_Return);
        QTest::keyClick(m_grid.get(), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClick(m_grid.get(), Qt::Key_Menu);
        QCOMPARE(m_board->commands, (QStringList{u"press 0 6"_s, u"release 0 6"_s, u"queue 0 6"_s}));
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus[0][0].toInt(), 6);

        // Without the focus the mark goes.
        m_grid->clearFocus();
        image = shot(*m_grid);
        QVERIFY(image.pixelColor(m_grid->tileRect(6).topLeft() + QPoint(1, 1)) != ShowGrid::focusColour());
    }

    void theMousePressesQueuesAndOpensTheMenu()
    {
        showAt(QSize(800, 600));
        m_board->shown = 2;
        Q_EMIT m_board->sheetShown(2);
        QSignalSpy menus(m_grid.get(), &ShowGrid::menuRequested);
        const QPoint at = m_grid->tileRect(9).center();
        QTest::mouseClick(m_grid.get(), Qt::LeftButton, {}, at);
        QTest::mouseClick(m_grid.get(), Qt::LeftButton, Qt::ShiftModifier, at);
        QTest::mouseClick(m_grid.get(), Qt::RightButton, {}, at);
        QTest::mouseClick(m_grid.get(), Qt::LeftButton, {}, QPoint(1, 1)); // the strip: nothing
        QCOMPARE(m_board->commands, (QStringList{u"press 2 9"_s, u"release 2 9"_s, u"queue 2 9"_s,
                                                 u"press 2 9"_s, u"release 2 9"_s}));
        QCOMPARE(menus.size(), 1);
        QCOMPARE(m_grid->focusedSlot(), 9);
    }
};

QTEST_MAIN(TestShowGrid)
#include "tst_showgrid.moc"
