// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/MLabel.h"
#include "fakes/PaintCounter.h"
#include "fakes/WidgetShot.h"

#include <QFontMetrics>
#include <QTest>

namespace {

const QColor Dialog(212, 208, 200);

/// Crisp glyphs: the "I" of a sans-serif face is one solid bar.
QFont barFont()
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(24);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

/// A label with the caption "I" on a grey dialog colour.
void makeBarLabel(TMLabel& l)
{
    l.setFont(barFont());
    l.setColor(Dialog);
    l.setCaption(QStringLiteral("I"));
}

/// The bar of pixels in `colour`: its first and last column and row.
QRect barOf(const QImage& img, QRgb colour)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == colour)
                r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace

class TestMLabel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shouldStartRecessedAndFitItsCaption();
    void recessedCaptionShouldHaveHighlightBelowRightAndShadowAboveLeft();
    void raisedAndShadowStylesShouldOffsetTheirCopies();
    void disabledLabelShouldGreyOnlyTheMainText();
    void transparentLabelShouldLetTheParentShow();
    void settersShouldRepaintOnlyOnChange();
};

void TestMLabel::shouldStartRecessedAndFitItsCaption()
{
    TMLabel l;
    QCOMPARE(l.TextStyle(), TTextStyle::tsRecessed);
    QCOMPARE(l.ShadowDepth(), 2);
    QCOMPARE(l.ShadowColor(), l.palette().color(QPalette::Dark));
    QVERIFY(l.AutoSize() && l.ShowAccelChar() && !l.Transparent() && !l.WordWrap());
    QCOMPARE(l.Alignment(), Qt::Alignment(Qt::AlignLeft));

    const QFontMetrics fm(l.font());
    l.setCaption(QStringLiteral("Start"));
    QCOMPARE(l.size(), QSize(fm.horizontalAdvance(QStringLiteral("Start")), fm.height()));
    // The accelerator mark takes no room; without accelerators it is shown.
    l.setCaption(QStringLiteral("&Stop"));
    QCOMPARE(l.width(), fm.horizontalAdvance(QStringLiteral("Stop")));
    l.setShowAccelChar(false);
    QCOMPARE(l.width(), fm.horizontalAdvance(QStringLiteral("&Stop")));
    l.setCaption(QString());
    QCOMPARE(l.height(), fm.height()); // an emptied label keeps one line

    // Word wrap keeps the width and grows downwards.
    l.setWordWrap(true);
    l.setAutoSize(false);
    l.resize(fm.horizontalAdvance(QStringLiteral("Start")) + 2, 5);
    l.setCaption(QStringLiteral("Start Stop"));
    l.setAutoSize(true);
    QCOMPARE(l.height(), 2 * fm.height());
}

void TestMLabel::recessedCaptionShouldHaveHighlightBelowRightAndShadowAboveLeft()
{
    TMLabel l;
    makeBarLabel(l);
    const QImage img = shot(l);
    const QRect main = barOf(img, qRgb(0, 0, 0));
    QVERIFY(main.width() >= 2 && main.height() >= 10);
    const QRgb light = l.palette().color(QPalette::Light).rgb();
    const QRgb dark = l.palette().color(QPalette::Dark).rgb();
    // What shows of each copy: the highlight right of and below the bar, the shadow left of and above it.
    QCOMPARE(img.pixel(main.right() + 1, main.center().y()), light);
    QCOMPARE(img.pixel(main.right(), main.bottom() + 1), light);
    QCOMPARE(img.pixel(main.left() - 1, main.center().y()), dark);
    QCOMPARE(img.pixel(main.left(), main.top() - 1), dark);
    QCOMPARE(img.pixel(main.right() + 2, main.center().y()), Dialog.rgb());
    QCOMPARE(barOf(img, light).bottomRight(), main.bottomRight() + QPoint(1, 1));
    QCOMPARE(barOf(img, dark).topLeft(), main.topLeft() - QPoint(1, 1));
}

void TestMLabel::raisedAndShadowStylesShouldOffsetTheirCopies()
{
    TMLabel l;
    makeBarLabel(l);
    l.setTextStyle(TTextStyle::tsRaised);
    QImage img = shot(l);
    QRect main = barOf(img, qRgb(0, 0, 0));
    QCOMPARE(img.pixel(main.right() + 1, main.center().y()), l.palette().color(QPalette::Dark).rgb());
    QCOMPARE(img.pixel(main.left() - 1, main.center().y()), l.palette().color(QPalette::Light).rgb());

    l.setTextStyle(TTextStyle::tsShadow);
    l.setShadowColor(Qt::red);
    l.setShadowDepth(3);
    l.setAutoSize(false);
    l.resize(l.width() + 4, l.height() + 4);
    img = shot(l);
    main = barOf(img, qRgb(0, 0, 0));
    const QRect shadow = barOf(img, qRgb(255, 0, 0));
    QCOMPARE(shadow.right(), main.right() + 3);
    QCOMPARE(shadow.bottom(), main.bottom() + 3);
    QCOMPARE(img.pixel(main.left() - 1, main.center().y()), Dialog.rgb());

    l.setTextStyle(TTextStyle::tsNone);
    img = shot(l);
    QCOMPARE(barOf(img, qRgb(255, 0, 0)), QRect());
    QCOMPARE(img.pixel(main.right() + 1, main.center().y()), Dialog.rgb());
}

void TestMLabel::disabledLabelShouldGreyOnlyTheMainText()
{
    TMLabel l;
    makeBarLabel(l);
    const QRect enabledBar = barOf(shot(l), qRgb(0, 0, 0));
    l.setEnabled(false);
    const QImage img = shot(l);
    const QRgb grey = l.palette().color(QPalette::Disabled, QPalette::Text).rgb();
    QCOMPARE(barOf(img, grey), enabledBar);
    QCOMPARE(barOf(img, qRgb(0, 0, 0)), QRect());
    // The copies keep the colours of an enabled label.
    QCOMPARE(img.pixel(enabledBar.right() + 1, enabledBar.center().y()),
             l.palette().color(QPalette::Active, QPalette::Light).rgb());
    QCOMPARE(img.pixel(enabledBar.left() - 1, enabledBar.center().y()),
             l.palette().color(QPalette::Active, QPalette::Dark).rgb());
}

void TestMLabel::transparentLabelShouldLetTheParentShow()
{
    QWidget parent;
    parent.resize(100, 50);
    fillWith(parent, Qt::cyan);
    auto* l = new TMLabel(&parent);
    l->setCaption(QStringLiteral("x"));
    l->setTextStyle(TTextStyle::tsNone);
    l->resize(60, 30);

    QCOMPARE(l->Color(), QColor(Qt::cyan)); // follows the parent until set
    l->setColor(Qt::yellow);
    QCOMPARE(shot(parent).pixel(50, 20), qRgb(255, 255, 0));
    l->setTransparent(true);
    QCOMPARE(shot(parent).pixel(50, 20), qRgb(0, 255, 255));
}

void TestMLabel::settersShouldRepaintOnlyOnChange()
{
    TMLabel l;
    l.setCaption(QStringLiteral("Stop"));
    l.show();
    QVERIFY(QTest::qWaitForWindowExposed(&l));
    PaintCounter counter(&l);
    const auto paintsAfter = [&](auto&& change) { return counter.paintsAfter(change); };
    QCOMPARE(paintsAfter([&] {
                 l.setTextStyle(TTextStyle::tsRecessed);
                 l.setShadowColor(l.ShadowColor());
                 l.setShadowDepth(2);
                 l.setCaption(QStringLiteral("Stop"));
             }),
             0);
    QVERIFY(paintsAfter([&] { l.setTextStyle(TTextStyle::tsShadow); }) > 0);
    QVERIFY(paintsAfter([&] { l.setShadowDepth(4); }) > 0);
    QVERIFY(paintsAfter([&] { l.setShadowColor(Qt::blue); }) > 0);
}

QTEST_MAIN(TestMLabel)
#include "tst_mlabel.moc"
