// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/MTrkBar.h"
#include "fakes/WidgetShot.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr QRgb Black = qRgb(0, 0, 0);
constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Silver = qRgb(192, 192, 192);

/// Counts the full drawings of the track, so that a thumb move can be told from a repaint.
class CountingTrackBar : public TMTrackBar {
public:
    using TMTrackBar::TMTrackBar;
    int tracks = 0;

protected:
    void DrawTrack(QPainter& canvas) override
    {
        ++tracks;
        TMTrackBar::DrawTrack(canvas);
    }
};

/// Qt rectangles from the old (left, top, right, bottom) form, right and bottom outside.
QRect ltrb(int l, int t, int r, int b)
{
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

void mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void showActive(QWidget& w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

} // namespace

class TestMTrkBar : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultSliderShouldPlaceTrackThumbAndTicks();
    void recorderSliderShouldCentreTrackAndThumb();
    void positionSetterShouldClampAndReportEveryRequestedChange();
    void keysShouldStepWithinBoundsLikeTheOldControl();
    void onlyTheLeftButtonShouldPageOrDrag();
    void dragShouldRoundHalvesToEven();
    void moveShouldRestoreUnderThumbWithoutRedrawingTheTrack();
    void pressBeforeThePaintShouldMeetTheMovedThumb();
    void tallerThanWideShouldTurnVerticalWithMaxOnTop();
    void disabledSliderShouldShowTheCheckeredPattern();
    void ownerDrawnTicksShouldBeAskedForEveryValue();
    void equalBoundsShouldDrawOneTickAndIgnorePages();
};

void TestMTrkBar::defaultSliderShouldPlaceTrackThumbAndTicks()
{
    TMTrackBar t;
    QCOMPARE(t.size(), QSize(200, 50));
    QCOMPARE(t.focusPolicy(), Qt::StrongFocus);
    QCOMPARE(t.ThumbLength(), 12);
    QCOMPARE(t.ThumbBreadth(), 18);
    QCOMPARE(t.HalfThumb(), 6);
    const QImage img = shot(t);

    QCOMPARE(t.TrackRect(), ltrb(10, 21, 190, 29));
    QCOMPARE(t.ThumbRect(), ltrb(4, 16, 16, 34));
    for (int x = 10; x <= 190; x += 18) {
        for (int y = 4; y <= 9; ++y)
            QCOMPARE(img.pixel(x, y), Black);
        QVERIFY(img.pixel(x, 3) != Black && img.pixel(x, 10) != Black);
        QVERIFY(img.pixel(x + 1, 6) != Black);
    }
    // Sunken edge: shadow then black on the top left, highlight then face on the bottom right.
    QCOMPARE(img.pixel(100, 21), t.palette().color(QPalette::Dark).rgb());
    QCOMPARE(img.pixel(100, 22), t.palette().color(QPalette::ButtonText).rgb());
    QCOMPARE(img.pixel(100, 28), t.palette().color(QPalette::Light).rgb());
    QCOMPARE(img.pixel(100, 27), t.palette().color(QPalette::Button).rgb());
    QCOMPARE(img.pixel(100, 24), White);
    // The pointer thumb: its face, and the background beside its tip.
    QCOMPARE(img.pixel(9, 30), Silver);
    QCOMPARE(img.pixel(4, 16), t.Color().rgb());
}

void TestMTrkBar::recorderSliderShouldCentreTrackAndThumb()
{
    TMTrackBar t;
    t.resize(226, 22);
    t.setShowTicks(false);
    (void)shot(t);
    QCOMPARE(t.Orientation(), TTrackOrientation::toHorizontal);
    QCOMPARE(t.TrackRect(), ltrb(10, 7, 216, 15));
    QCOMPARE(t.ThumbRect().top(), 2);
    QCOMPARE(t.ThumbRect().bottom(), 19);

    // The track is never narrower than six pixels.
    t.setTrackWidth(3);
    QCOMPARE(t.TrackWidth(), quint16(6));
    t.setTrackWidth(12);
    t.resize(226, 50);
    (void)shot(t);
    QCOMPARE(t.TrackRect().height(), 12);
}

void TestMTrkBar::positionSetterShouldClampAndReportEveryRequestedChange()
{
    TMTrackBar t;
    QSignalSpy changes(&t, &TMTrackBar::OnChange);
    t.setPosition(4);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).value<TMTrackBar*>(), &t);
    t.setPosition(4);
    QCOMPARE(changes.count(), 1);

    t.setPosition(50);
    QCOMPARE(t.Position(), 10);
    t.setPosition(-3);
    QCOMPARE(t.Position(), 0);
    QCOMPARE(changes.count(), 3);

    t.setPosition(8);
    changes.clear();
    t.setMax(6);
    QCOMPARE(t.Position(), 6);
    QCOMPARE(changes.count(), 1);
    t.setPosition(1);
    t.setMin(4);
    QCOMPARE(t.Position(), 4);
    QCOMPARE(changes.count(), 3);
    t.setMax(6); // unchanged: nothing at all
    t.setMin(4);
    QCOMPARE(changes.count(), 3);
}

void TestMTrkBar::keysShouldStepWithinBoundsLikeTheOldControl()
{
    TMTrackBar t;
    t.setPageSize(3);
    QSignalSpy changes(&t, &TMTrackBar::OnChange);

    QTest::keyClick(&t, Qt::Key_Home);
    QTest::keyClick(&t, Qt::Key_Left);
    QTest::keyClick(&t, Qt::Key_Down);
    QCOMPARE(changes.count(), 0);

    QTest::keyClick(&t, Qt::Key_PageUp);
    QCOMPARE(t.Position(), 3);
    QTest::keyClick(&t, Qt::Key_Right);
    QTest::keyClick(&t, Qt::Key_Up);
    QCOMPARE(t.Position(), 5);
    QTest::keyClick(&t, Qt::Key_PageDown);
    QCOMPARE(t.Position(), 2);
    QTest::keyClick(&t, Qt::Key_End);
    QCOMPARE(t.Position(), 10);
    changes.clear();

    // At the top an arrow does nothing, but a page request still reports a change.
    QTest::keyClick(&t, Qt::Key_Up);
    QCOMPARE(changes.count(), 0);
    QTest::keyClick(&t, Qt::Key_PageUp);
    QCOMPARE(t.Position(), 10);
    QCOMPARE(changes.count(), 1);
    QTest::keyClick(&t, Qt::Key_End);
    QCOMPARE(changes.count(), 1);
}

void TestMTrkBar::onlyTheLeftButtonShouldPageOrDrag()
{
    QWidget window;
    auto* other = new QWidget(&window);
    other->setFocusPolicy(Qt::StrongFocus);
    auto* t = new TMTrackBar(&window);
    t->move(0, 20);
    t->setPosition(5);
    showActive(window);
    other->setFocus();
    const QImage unfocused = shot(*t);
    QSignalSpy changes(t, &TMTrackBar::OnChange);
    const QPoint onThumb = t->ThumbRect().center();
    const QPoint leftOfThumb(30, 25);
    const QPoint rightOfThumb(170, 25);

    for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        other->setFocus();
        for (const QPoint p : {onThumb, leftOfThumb, rightOfThumb}) {
            mouse(t, QEvent::MouseButtonPress, p, button, button);
            mouse(t, QEvent::MouseMove, p + QPoint(40, 0), Qt::NoButton, button);
            mouse(t, QEvent::MouseButtonRelease, p + QPoint(40, 0), button, Qt::NoButton);
        }
        QVERIFY(t->hasFocus());
        QVERIFY(!t->Dragging());
    }
    QCOMPARE(changes.count(), 0);
    QCOMPARE(t->Position(), 5);
    // The focus frame inverts every other pixel of the outermost ring.
    QCOMPARE(shot(*t).pixel(0, 0), ~unfocused.pixel(0, 0) | 0xFF000000u);

    mouse(t, QEvent::MouseButtonPress, leftOfThumb, Qt::LeftButton, Qt::LeftButton);
    mouse(t, QEvent::MouseButtonRelease, leftOfThumb, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(t->Position(), 4);
    mouse(t, QEvent::MouseButtonPress, rightOfThumb, Qt::LeftButton, Qt::LeftButton);
    mouse(t, QEvent::MouseButtonRelease, rightOfThumb, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(t->Position(), 5);
    mouse(t, QEvent::MouseButtonPress, QPoint(100, 45), Qt::LeftButton, Qt::LeftButton); // below the track
    QCOMPARE(t->Position(), 5);
    mouse(t, QEvent::MouseButtonRelease, QPoint(100, 45), Qt::LeftButton, Qt::NoButton);

    changes.clear();
    mouse(t, QEvent::MouseButtonPress, t->ThumbRect().center(), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(t->Dragging());
    QCOMPARE(changes.count(), 0);
    mouse(t, QEvent::MouseMove, QPoint(150, 25), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(t->Position(), 7); // round((150 - 6) / 194 * 10)
    QCOMPARE(changes.count(), 1);
    mouse(t, QEvent::MouseMove, QPoint(900, 25), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(t->Position(), 10);
    mouse(t, QEvent::MouseButtonRelease, QPoint(900, 25), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!t->Dragging());
    mouse(t, QEvent::MouseMove, QPoint(20, 25), Qt::NoButton, Qt::NoButton);
    QCOMPARE(t->Position(), 10);
}

void TestMTrkBar::dragShouldRoundHalvesToEven()
{
    // Width 262 and range 0..4: (x - 6) / 256 * 4 is exact in binary.
    TMTrackBar t;
    t.resize(262, 50);
    t.setMax(4);
    (void)shot(t);
    mouse(&t, QEvent::MouseButtonPress, t.ThumbRect().center(), Qt::LeftButton, Qt::LeftButton);
    const QList<QPair<int, int>> cases = {{6 + 96, 2}, {6 + 32, 0}, {6 + 160, 2}, {6 + 224, 4}, {6 + 100, 2}};
    for (const auto& [x, expected] : cases) {
        mouse(&t, QEvent::MouseMove, QPoint(x, 25), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(t.Position(), expected);
    }
}

void TestMTrkBar::moveShouldRestoreUnderThumbWithoutRedrawingTheTrack()
{
    CountingTrackBar t;
    t.setFocusPolicy(Qt::NoFocus); // no focus frame, to compare with a fresh slider
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    (void)shot(t);
    const int tracks = t.tracks;
    for (int v : {3, 9, 2, 10, 0, 6}) {
        t.setPosition(v);
        QCoreApplication::processEvents();
    }
    QCOMPARE(t.tracks, tracks);
    const QImage moved = shot(t);

    TMTrackBar fresh;
    fresh.setPosition(6);
    QCOMPARE(moved, shot(fresh));
    QCOMPARE(t.UnderThumb().size(), QSize(12, 18));
    QCOMPARE(t.UnderThumb().pixel(6, 8), White); // the track under the thumb's middle
}

void TestMTrkBar::pressBeforeThePaintShouldMeetTheMovedThumb()
{
    TMTrackBar t;
    (void)shot(t);
    t.setMax(20); // the whole slider is to be drawn again
    t.setPosition(15);
    TMTrackBar painted;
    painted.setMax(20);
    painted.setPosition(15);
    (void)shot(painted);
    QCOMPARE(t.ThumbRect(), painted.ThumbRect());
    QCOMPARE(t.UnderThumb(), painted.UnderThumb());
    mouse(&t, QEvent::MouseButtonPress, painted.ThumbRect().center(), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(t.Dragging());
    QCOMPARE(t.Position(), 15);
}

void TestMTrkBar::tallerThanWideShouldTurnVerticalWithMaxOnTop()
{
    TMTrackBar t;
    t.resize(50, 200);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    QCOMPARE(t.Orientation(), TTrackOrientation::toVertical);
    QCOMPARE(t.ThumbLength(), 12);
    QCOMPARE(t.ThumbBreadth(), 18);
    (void)shot(t);
    QCOMPARE(t.TrackRect(), ltrb(21, 10, 29, 190));
    QCOMPARE(t.ThumbRect(), ltrb(16, 184, 34, 196)); // Min at the bottom

    QTest::keyClick(&t, Qt::Key_Home);
    QCOMPARE(t.Position(), 10);
    QCOMPARE(t.ThumbRect(), ltrb(16, 4, 34, 16));
    // Clicks above the thumb go up; the pointer points left, at the ticks.
    t.setPosition(5);
    mouse(&t, QEvent::MouseButtonPress, QPoint(25, 30), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(t.Position(), 6);
    const QImage img = shot(t);
    QCOMPARE(img.pixel(4, 100), Black); // a tick on the left
    const QRect thumb = t.ThumbRect();
    QCOMPARE(img.pixel(thumb.left(), thumb.top()), t.Color().rgb());

    t.resize(200, 50);
    QCoreApplication::processEvents();
    QCOMPARE(t.Orientation(), TTrackOrientation::toHorizontal);
    QCOMPARE(t.ThumbLength(), 12);
}

void TestMTrkBar::disabledSliderShouldShowTheCheckeredPattern()
{
    TMTrackBar t;
    t.setEnabled(false);
    QImage img = shot(t);
    // Track inside its edges: white and silver alternating.
    for (int x = 50; x < 54; ++x)
        for (int y = 23; y < 27; ++y)
            QCOMPARE(img.pixel(x, y), (x + y) % 2 ? Silver : White);
    // The thumb's face, patterned from the thumb's own corner.
    const QPoint corner = t.ThumbRect().topLeft();
    for (int x = 3; x < 8; ++x)
        for (int y = 8; y < 12; ++y)
            QCOMPARE(img.pixel(corner.x() + x, corner.y() + y), (x + y) % 2 ? Silver : White);
    QCOMPARE(img.pixel(corner.x(), corner.y() + 10), White); // the highlight stays

    // A silver track gets dark grey dots.
    t.setTrackColor(QColor(192, 192, 192));
    QCOMPARE(t.DisabledPattern().pixel(1, 0), qRgb(128, 128, 128));

    t.setTrackColor(Qt::white);
    t.setEnabled(true);
    img = shot(t);
    QCOMPARE(img.pixel(51, 24), White);
    QCOMPARE(img.pixel(corner.x() + 4, corner.y() + 9), Silver);
    QCOMPARE(img.pixel(corner.x() + 5, corner.y() + 9), Silver);
}

void TestMTrkBar::ownerDrawnTicksShouldBeAskedForEveryValue()
{
    TMTrackBar t;
    t.setTickStyle(TTickStyle::tkOwnerDraw);
    QList<QPoint> locations;
    QList<int> indexes;
    connect(&t, &TMTrackBar::OnDrawTick, this,
            [&](TMTrackBar*, QPainter* canvas, const QPoint& location, int index) {
                canvas->fillRect(QRect(location + QPoint(0, 40), QSize(1, 3)), QColor(255, 0, 0));
                locations << location;
                indexes << index;
            });
    const QImage img = shot(t);
    QCOMPARE(indexes.size(), 11);
    QCOMPARE(indexes.first(), 0);
    QCOMPARE(locations.first(), QPoint(10, 0));
    QCOMPARE(locations.last(), QPoint(190, 0));
    QVERIFY(img.pixel(10, 5) != Black); // no standard ticks
    // What the owner draws on the canvas lands on the slider.
    QCOMPARE(img.pixel(10, 41), qRgb(255, 0, 0));
    QCOMPARE(img.pixel(190, 41), qRgb(255, 0, 0));
}

void TestMTrkBar::equalBoundsShouldDrawOneTickAndIgnorePages()
{
    TMTrackBar t;
    t.setMax(0);
    QImage img = shot(t);
    QCOMPARE(t.ThumbRect().left(), 4);
    QCOMPARE(img.pixel(10, 5), Black);
    QVERIFY(img.pixel(28, 5) != Black);

    QSignalSpy changes(&t, &TMTrackBar::OnChange);
    mouse(&t, QEvent::MouseButtonPress, QPoint(150, 25), Qt::LeftButton, Qt::LeftButton);
    mouse(&t, QEvent::MouseButtonRelease, QPoint(150, 25), Qt::LeftButton, Qt::NoButton);
    mouse(&t, QEvent::MouseButtonPress, t.ThumbRect().center(), Qt::LeftButton, Qt::LeftButton);
    mouse(&t, QEvent::MouseMove, QPoint(150, 25), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(changes.count(), 0);
    QTest::keyClick(&t, Qt::Key_PageUp);
    QCOMPARE(t.Position(), 0);
    QCOMPARE(changes.count(), 1);
    (void)shot(t);

    t.resize(50, 200);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    img = shot(t);
    QCOMPARE(t.ThumbRect().bottom(), 200 - 4 - 1);
}

QTEST_MAIN(TestMTrkBar)
#include "tst_mtrkbar.moc"
