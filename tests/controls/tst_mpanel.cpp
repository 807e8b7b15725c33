// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/MPanel.h"
#include "fakes/PaintCounter.h"
#include "fakes/WidgetShot.h"

#include <QFontMetrics>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QColor Face(78, 139, 139);
constexpr TSides RightBottom = sideBit(TSide::sdRight) | sideBit(TSide::sdBottom);

QRgb rgb(const QColor& c)
{
    return c.rgb();
}

/// The panel the main window uses as its tool bar.
void makeToolBar(TMPanel& p)
{
    p.resize(200, 47);
    p.setColor(Face);
    p.setBevelInner(TPanelBevel::bvLowered);
    p.setBorderSides(RightBottom);
    p.setBorderColor(Qt::darkCyan);
}

} // namespace

class TestMPanel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shouldStartWithItsDefaults();
    void toolBarShouldShowBlackLinesThenBothBevels();
    void borderBandShouldUseBorderColorOnBevelSidesOnly();
    void childFillingThePanelShouldLeaveTheBlackLinesUncovered();
    void captionShouldFollowVerticalAlignment();
    void settersShouldRepaintOnlyOnChange();
};

void TestMPanel::shouldStartWithItsDefaults()
{
    TMPanel p;
    QCOMPARE(p.BevelSides(), AllSides);
    QCOMPARE(p.BorderSides(), TSides(0));
    QCOMPARE(p.VerticalAlignment(), TVerticalAlignment::vaCenter);
    QCOMPARE(p.BevelOuter(), TPanelBevel::bvRaised);
    QCOMPARE(p.BevelInner(), TPanelBevel::bvNone);
    QCOMPARE(p.BevelWidth(), 1);
    QCOMPARE(p.BorderWidth(), 0);
    QCOMPARE(p.BorderColor(), p.palette().color(QPalette::Button));
    QVERIFY(p.Caption().isEmpty());
    QCOMPARE(p.ClientRect(), p.rect());
}

void TestMPanel::toolBarShouldShowBlackLinesThenBothBevels()
{
    TMPanel p;
    makeToolBar(p);
    const QImage img = shot(p);
    const QRgb light = rgb(p.palette().color(QPalette::Light));
    const QRgb dark = rgb(p.palette().color(QPalette::Dark));

    for (int y = 0; y < 47; ++y)
        QCOMPARE(img.pixel(199, y), qRgb(0, 0, 0));
    for (int x = 0; x < 200; ++x)
        QCOMPARE(img.pixel(x, 46), qRgb(0, 0, 0));
    // Outer bevel, raised, inside the black lines.
    QCOMPARE(img.pixel(0, 0), light);
    QCOMPARE(img.pixel(0, 44), light);
    QCOMPARE(img.pixel(100, 0), light);
    QCOMPARE(img.pixel(198, 0), dark);
    QCOMPARE(img.pixel(198, 30), dark);
    QCOMPARE(img.pixel(0, 45), dark);
    QCOMPARE(img.pixel(100, 45), dark);
    // Inner bevel, lowered.
    QCOMPARE(img.pixel(1, 1), dark);
    QCOMPARE(img.pixel(100, 1), dark);
    QCOMPARE(img.pixel(197, 1), light);
    QCOMPARE(img.pixel(100, 44), light);
    QCOMPARE(img.pixel(2, 2), rgb(Face));
    QCOMPARE(img.pixel(196, 43), rgb(Face));
    // No teal anywhere: the border band is zero wide.
    for (int y = 0; y < 47; ++y)
        for (int x = 0; x < 200; ++x)
            QVERIFY(img.pixel(x, y) != rgb(QColor(Qt::darkCyan)));
}

void TestMPanel::borderBandShouldUseBorderColorOnBevelSidesOnly()
{
    TMPanel p;
    p.resize(50, 30);
    p.setBevelOuter(TPanelBevel::bvNone);
    p.setBorderWidth(2);
    p.setBorderColor(Qt::red);
    p.setColor(Qt::blue);
    p.setBevelSides(sideBit(TSide::sdLeft) | sideBit(TSide::sdBottom));
    const QImage img = shot(p);
    QCOMPARE(img.pixel(0, 10), rgb(Qt::red));
    QCOMPARE(img.pixel(1, 10), rgb(Qt::red));
    QCOMPARE(img.pixel(20, 29), rgb(Qt::red));
    QCOMPARE(img.pixel(20, 28), rgb(Qt::red));
    // Each ring shrinks on all four sides, so the face starts two pixels in everywhere.
    QCOMPARE(img.pixel(20, 0), rgb(Qt::blue));
    QCOMPARE(img.pixel(49, 10), rgb(Qt::blue));
    QCOMPARE(img.pixel(2, 10), rgb(Qt::blue));
}

void TestMPanel::childFillingThePanelShouldLeaveTheBlackLinesUncovered()
{
    TMPanel p;
    makeToolBar(p);
    auto* layout = new QVBoxLayout(&p);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* child = new QWidget;
    fillWith(*child, Qt::yellow);
    layout->addWidget(child);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));

    QCOMPARE(p.ClientRect(), QRect(0, 0, 199, 46));
    QCOMPARE(child->geometry(), p.ClientRect());
    const QImage img = shot(p);
    QCOMPARE(img.pixel(198, 45), rgb(Qt::yellow));
    QCOMPARE(img.pixel(199, 20), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(100, 46), qRgb(0, 0, 0));
}

void TestMPanel::captionShouldFollowVerticalAlignment()
{
    TMPanel p;
    p.resize(120, 60);
    p.setColor(Qt::white);
    p.setCaption(QStringLiteral("Jgy"));
    const int h = QFontMetrics(p.font()).height();
    const QRect inside(1, 1, 118, 58); // inside the one-pixel outer bevel

    p.setVerticalAlignment(TVerticalAlignment::vaTop);
    const QImage top = shot(p);
    const QImage block = top.copy(inside.left(), inside.top(), inside.width(), h);

    p.setVerticalAlignment(TVerticalAlignment::vaBottom);
    const QImage bottom = shot(p);
    const int bottomTop = inside.bottom() + 1 - h - 1;
    QCOMPARE(bottom.copy(inside.left(), bottomTop, inside.width(), h), block);
    for (int x = inside.left(); x <= inside.right(); ++x)
        QCOMPARE(bottom.pixel(x, inside.bottom()), qRgb(255, 255, 255)); // the one pixel left free

    p.setVerticalAlignment(TVerticalAlignment::vaCenter);
    const int centreTop = (inside.top() + inside.bottom() + 1 - h) / 2;
    QCOMPARE(shot(p).copy(inside.left(), centreTop, inside.width(), h), block);
}

void TestMPanel::settersShouldRepaintOnlyOnChange()
{
    TMPanel p;
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    PaintCounter counter(&p);
    const auto paintsAfter = [&](auto&& change) { return counter.paintsAfter(change); };
    QCOMPARE(paintsAfter([&] {
                 p.setBevelSides(AllSides);
                 p.setBorderSides(0);
                 p.setVerticalAlignment(TVerticalAlignment::vaCenter);
                 p.setBorderColor(p.BorderColor());
             }),
             0);
    QVERIFY(paintsAfter([&] { p.setBorderSides(RightBottom); }) > 0);
    QVERIFY(paintsAfter([&] { p.setVerticalAlignment(TVerticalAlignment::vaTop); }) > 0);
}

QTEST_MAIN(TestMPanel)
#include "tst_mpanel.moc"
