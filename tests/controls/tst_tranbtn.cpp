// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/TextDrawing.h"
#include "controls/Tranbtn.h"
#include "fakes/PaintCounter.h"
#include "fakes/WidgetShot.h"
#include "platform/Errors.h"
#include "platform/Fonts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

const QColor Backdrop(0, 128, 0);

/// A parent that paints a plain colour, so that what the button leaves alone shows.
class Backing : public QWidget {
public:
    explicit Backing(const QSize& size)
    {
        resize(size);
        fillWith(*this, Backdrop);
    }
};

QRgb at(const QImage& img, int x, int y)
{
    return img.pixel(x, y);
}

/// Rows and columns that hold anything but the backdrop, inside the frame.
QRect inkBounds(const QImage& img)
{
    QRect r;
    for (int y = 1; y < img.height() - 1; ++y)
        for (int x = 1; x < img.width() - 1; ++x)
            if (img.pixel(x, y) != Backdrop.rgb())
                r |= QRect(x, y, 1, 1);
    return r;
}

void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton,
          Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void enter(QWidget* w)
{
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(w, &e);
}

void leave(QWidget* w)
{
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(w, &e);
}

/// 20 x 10, magenta with a blue 10 x 4 block at (5, 3).
QImage keyedImage()
{
    QImage img(20, 10, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    QPainter(&img).fillRect(QRect(5, 3, 10, 4), Qt::blue);
    return img;
}

} // namespace

class TestTranBtn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shouldStartWithItsDefaults();
    void frameShouldFollowStyleHoverAndPress_data();
    void frameShouldFollowStyleHoverAndPress();
    void shortCaptionShouldBeCentredOnOneLine();
    void longWordShouldBeShortenedAndBecomeTheHint();
    void captionShouldBeLaidOutByCharactersPerLine_data();
    void captionShouldBeLaidOutByCharactersPerLine();
    void captionShouldShowItsAmpersands();
    void captionShouldUseFontColourAndNotMoveWhenPressed();
    void imageShouldLetParentShowThroughAndShiftWhenPressed();
    void drawTransparentBitmapShouldKeepKeyedPixelsAndRejectFarOrigins();
    void settersShouldRepaintOnlyWhenTheySay();
    void everyMouseButtonShouldPressButOnlyLeftClicks();
    void unframedButtonShouldStayPressedWhenReleasedOffItsImage();
    void keyShouldShowSmallInTheTopRightCorner_data();
    void keyShouldShowSmallInTheTopRightCorner();
};

void TestTranBtn::shouldStartWithItsDefaults()
{
    TMTranBtn b;
    QCOMPARE(b.size(), QSize(125, 48));
    QCOMPARE(b.Border(), BStyle::BsNormal);
    QCOMPARE(b.font().pointSize(), 9);
    QCOMPARE(b.BtnNumber(), 0);
    QVERIFY(!b.Pressed() && !b.MouseOver() && !b.ShowHint());
    b.setHint(QStringLiteral("Intro"));
    b.setShowHint(true);
    QCOMPARE(b.Hint(), QStringLiteral("Intro"));
    QVERIFY(b.ShowHint());
    QCOMPARE(b.ImageRect(), QRect());
    QVERIFY(b.BitMap().isNull());
}

void TestTranBtn::frameShouldFollowStyleHoverAndPress_data()
{
    QTest::addColumn<BStyle>("border");
    QTest::addColumn<bool>("hover");
    QTest::addColumn<bool>("press");
    QTest::addColumn<int>("frame"); // 0 none, 1 raised, -1 sunken

    QTest::newRow("normal at rest") << BStyle::BsNormal << false << false << 1;
    QTest::newRow("normal pressed") << BStyle::BsNormal << true << true << -1;
    QTest::newRow("ie at rest") << BStyle::BsIe << false << false << 0;
    QTest::newRow("ie hovered") << BStyle::BsIe << true << false << 1;
    QTest::newRow("ie pressed") << BStyle::BsIe << true << true << -1;
    QTest::newRow("none hovered and pressed") << BStyle::BSnone << true << true << 0;
}

void TestTranBtn::frameShouldFollowStyleHoverAndPress()
{
    QFETCH(BStyle, border);
    QFETCH(bool, hover);
    QFETCH(bool, press);
    QFETCH(int, frame);

    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    b->setBorder(border);
    if (hover) {
        enter(b);
        send(b, QEvent::MouseMove, QPoint(60, 20));
    }
    if (press)
        send(b, QEvent::MouseButtonPress, QPoint(60, 20), Qt::LeftButton, Qt::LeftButton);

    const QImage img = shot(parent);
    const QColor light = b->palette().color(QPalette::Light);
    const QColor dark = b->palette().color(QPalette::Dark);
    const QColor first = frame == 0 ? Backdrop : frame > 0 ? light : dark;
    const QColor second = frame == 0 ? Backdrop : frame > 0 ? dark : light;
    QCOMPARE(at(img, 0, 0), QColor(first).rgb());
    QCOMPARE(at(img, 0, 46), QColor(first).rgb());
    QCOMPARE(at(img, 123, 0), QColor(first).rgb());
    QCOMPARE(at(img, 124, 0), QColor(second).rgb()); // top row stops one short of the corner
    QCOMPARE(at(img, 0, 47), QColor(second).rgb());  // left column stops one short of the corner
    QCOMPARE(at(img, 124, 47), QColor(second).rgb());
    QCOMPARE(at(img, 60, 47), QColor(second).rgb());
    QCOMPARE(at(img, 1, 1), QColor(Backdrop).rgb()); // no background of its own

    if (border == BStyle::BsIe && hover && !press) {
        leave(b);
        QCOMPARE(at(shot(parent), 0, 0), QColor(Backdrop).rgb());
    }
}

void TestTranBtn::shortCaptionShouldBeCentredOnOneLine()
{
    Backing parent(QSize(105, 42));
    auto* b = new TMTranBtn(&parent);
    b->resize(105, 42);
    b->setBorder(BStyle::BSnone);
    b->setCaption(QStringLiteral("<empty>"));
    const QRect ink = inkBounds(shot(parent));
    const int h = QFontMetrics(b->font()).height();
    QVERIFY(ink.top() >= (42 - h) / 2 && ink.bottom() < (42 - h) / 2 + h);
    QVERIFY2(qAbs(ink.left() - (104 - ink.right())) <= 2, "centred across");
    QVERIFY(!b->ShowHint());
}

void TestTranBtn::longWordShouldBeShortenedAndBecomeTheHint()
{
    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    b->setBorder(BStyle::BSnone);
    auto* same = new TMTranBtn(&parent);
    same->setBorder(BStyle::BSnone);
    same->move(0, 0);
    same->hide();

    const QString n = QString(125 / TextDrawing::averageCharWidth(b->font()), QLatin1Char('W'));
    b->setCaption(n);
    const QImage shortened = shot(parent);
    QCOMPARE(b->Hint(), n);
    QVERIFY(b->ShowHint());

    b->hide();
    same->show();
    same->setCaption(QStringLiteral("WWWWWW..."));
    QCOMPARE(shot(parent), shortened);

    // Neither the hint nor its showing is undone by a short caption.
    b->setCaption(QStringLiteral("short"));
    b->show();
    (void)shot(parent);
    QCOMPARE(b->Hint(), n);
    QVERIFY(b->ShowHint());
}

void TestTranBtn::captionShouldBeLaidOutByCharactersPerLine_data()
{
    // The sound buttons of the main window: 105 x 42 in Arial at 12 pixels, whose
    // average character is 5 pixels wide, so 21 characters make a line.
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("text");
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<int>("lines");

    const QSize board(105, 42);
    const unsigned oneLine = 0x25;
    const unsigned wrapped = 0x11;
    QTest::newRow("short") << QStringLiteral("<empty>") << board << QStringLiteral("<empty>") << oneLine << 1;
    QTest::newRow("long title in three lines")
        << QStringLiteral("A Very Long Song Title That Wraps Over L") << board
        << QStringLiteral("A Very Long Song \n\rTitle That Wraps \n\rOver L") << wrapped << 3;
    QTest::newRow("narrow letters in two lines")
        << QStringLiteral("iiii llll iiii llll iiii llll") << board
        << QStringLiteral("iiii llll iiii llll \n\riiii llll") << wrapped << 2;
    QTest::newRow("exactly a line, with a space") << QStringLiteral("ab cdiiiiiiiiiiiiiiii") << board
                                                  << QStringLiteral("ab cdiiiiiiiiiiiiiiii") << wrapped << 1;
    QTest::newRow("a line without a space")
        << QString(21, QLatin1Char('x')) << board << QStringLiteral("xxxxxx...") << oneLine << 1;
    QTest::newRow("word longer than a line")
        << QStringLiteral("x abcdefghijklmnopqrstuvwxyzabcdefghij") << board
        << QStringLiteral("x \n\rabcdefghijklmnopqrstu\n\rvwxyzabcdefghij") << wrapped << 3;
    QTest::newRow("narrower than a character")
        << QStringLiteral("a b c") << QSize(3, 48) << QStringLiteral("a\n\r \n\rb\n\r \n\rc") << wrapped << 5;
}

void TestTranBtn::captionShouldBeLaidOutByCharactersPerLine()
{
    QFETCH(QString, caption);
    QFETCH(QSize, size);
    QFETCH(QString, text);
    QFETCH(unsigned, flags);
    QFETCH(int, lines);
    const QFont font = Fonts::arial(12);
    const TMTranBtn::CaptionLayout layout = TMTranBtn::layoutCaption(caption, font, size);
    QCOMPARE(layout.text, text);
    QCOMPARE(layout.flags, flags);
    QCOMPARE(layout.lines, lines);
    // Drawn as broken here: the text helper breaks no line again.
    const QStringList shown = text.split(QStringLiteral("\n\r"));
    QStringList drawn;
    for (const TextDrawing::Line& line : layout.shown.lines)
        drawn << line.text;
    QCOMPARE(drawn, shown);
    // The block of lines is centred vertically, one font height a line, and each line across.
    const QFontMetrics fm(font);
    const int h = fm.height();
    const int top = shown.size() == 1 ? (size.height() - h) / 2 : size.height() / 2 - (h * shown.size()) / 2;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const TextDrawing::Line& line = layout.shown.lines[i];
        QCOMPARE(line.origin.y(), top + int(i) * h);
        QCOMPARE(line.origin.x(), (size.width() - fm.horizontalAdvance(line.text.trimmed())) / 2);
    }
    if (size.width() > 5) // every block of lines fits the button's height
        QVERIFY2(top >= 0 && top + shown.size() * h <= size.height(),
                 qPrintable(QStringLiteral("top %1, %2 lines of %3").arg(top).arg(shown.size()).arg(h)));
}

void TestTranBtn::captionShouldShowItsAmpersands()
{
    // A title is not a label: "&" marks no accelerator and shows as itself.
    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    b->setBorder(BStyle::BSnone);
    b->setCaption(QStringLiteral("R&R"));
    const int withAmpersand = inkBounds(shot(parent)).width();
    b->setCaption(QStringLiteral("RR"));
    const int without = inkBounds(shot(parent)).width();
    QVERIFY2(withAmpersand >= without + QFontMetrics(b->font()).horizontalAdvance(QLatin1Char('&')) - 1,
             qPrintable(QStringLiteral("%1 against %2").arg(withAmpersand).arg(without)));
}

void TestTranBtn::captionShouldUseFontColourAndNotMoveWhenPressed()
{
    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    b->setFont(QFont(b->font().family(), 14));
    b->setCaption(QStringLiteral("Song"));
    b->setFontColor(QColor(255, 0, 0));
    const QImage rest = shot(parent);
    send(b, QEvent::MouseButtonPress, QPoint(60, 20), Qt::LeftButton, Qt::LeftButton);
    const QImage pressed = shot(parent);

    bool red = false;
    for (int y = 2; y < 46; ++y)
        for (int x = 2; x < 123; ++x)
            red = red || at(rest, x, y) == qRgb(255, 0, 0);
    QVERIFY(red);
    QCOMPARE(pressed.copy(2, 2, 121, 44), rest.copy(2, 2, 121, 44));
    QVERIFY(pressed != rest); // the frame did change
}

void TestTranBtn::imageShouldLetParentShowThroughAndShiftWhenPressed()
{
    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    b->setBitMap(keyedImage()); // magenta bottom-left: magenta is transparent
    QImage img = shot(parent);
    QCOMPARE(b->ImageRect(), QRect(52, 19, 20, 10));
    QCOMPARE(at(img, 52, 19), QColor(Backdrop).rgb());
    QCOMPARE(at(img, 57, 22), QColor(QColor(Qt::blue)).rgb());
    QCOMPARE(at(img, 56, 21), QColor(Backdrop).rgb());

    send(b, QEvent::MouseButtonPress, QPoint(60, 20), Qt::RightButton, Qt::RightButton);
    img = shot(parent);
    QCOMPARE(at(img, 57, 22), QColor(Backdrop).rgb());
    QCOMPARE(at(img, 58, 23), QColor(QColor(Qt::blue)).rgb());
    QCOMPARE(b->ImageRect(), QRect(52, 19, 20, 10));

    // A caption leaves a line of text below the image.
    b->setCaption(QStringLiteral("x"));
    (void)shot(parent);
    QCOMPARE(b->ImageRect().top(), (48 - 10 - QFontMetrics(b->font()).height()) / 2);

    // A colour set explicitly wins over the bottom-left pixel.
    b->setTransparentColor(Qt::blue);
    img = shot(parent);
    QCOMPARE(at(img, b->ImageRect().left() + 2, b->ImageRect().top() + 2), QColor(QColor(255, 0, 255)).rgb());

    // A monochrome image keys on white, whatever its bottom-left pixel.
    QImage mono(20, 10, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int y = 0; y < 10; ++y)
        mono.setPixel(0, y, 1); // a black left column, bottom-left included
    auto* plain = new TMTranBtn(&parent);
    plain->setBorder(BStyle::BSnone);
    plain->setBitMap(mono);
    b->hide();
    img = shot(parent);
    QCOMPARE(at(img, plain->ImageRect().left() + 5, plain->ImageRect().top() + 5), QColor(Backdrop).rgb());
    QCOMPARE(at(img, plain->ImageRect().left(), plain->ImageRect().top() + 5), qRgb(0, 0, 0));
}

void TestTranBtn::drawTransparentBitmapShouldKeepKeyedPixelsAndRejectFarOrigins()
{
    QImage dest(40, 30, QImage::Format_RGB32);
    dest.fill(Qt::yellow);
    QImage image = keyedImage();
    const QImage before = image.copy();

    TMTranBtn::DrawTransparentBitmap(dest, image, 10, 5, QColor(255, 0, 255));
    QCOMPARE(image, before);
    QCOMPARE(image.format(), before.format());
    QCOMPARE(at(dest, 10, 5), QColor(QColor(Qt::yellow)).rgb());
    QCOMPARE(at(dest, 15, 8), QColor(QColor(Qt::blue)).rgb());
    QCOMPARE(at(dest, 24, 11), QColor(QColor(Qt::blue)).rgb());
    QCOMPARE(at(dest, 25, 11), QColor(QColor(Qt::yellow)).rgb());
    QCOMPARE(at(dest, 9, 8), QColor(QColor(Qt::yellow)).rgb());

    // Partly outside the destination: drawn where it overlaps, nothing else touched.
    TMTranBtn::DrawTransparentBitmap(dest, image, 28, 25, QColor(255, 0, 255));
    QCOMPARE(at(dest, 33, 28), QColor(QColor(Qt::blue)).rgb());
    QCOMPARE(dest.size(), QSize(40, 30));

    // A destination without 32-bit pixels keeps its format.
    QImage grey(30, 20, QImage::Format_Grayscale8);
    grey.fill(200);
    TMTranBtn::DrawTransparentBitmap(grey, image, 0, 0, QColor(255, 0, 255));
    QCOMPARE(grey.format(), QImage::Format_Grayscale8);
    QCOMPARE(qGray(grey.pixel(0, 0)), 200);
    QVERIFY(qGray(grey.pixel(6, 4)) < 100);

    // Origins outside 16 bits are refused and draw nothing; far off but inside them is allowed.
    const QImage untouched = dest.copy();
    QVERIFY_THROWS_EXCEPTION(RangeError, TMTranBtn::DrawTransparentBitmap(dest, image, -1, 0, Qt::white));
    QVERIFY_THROWS_EXCEPTION(RangeError, TMTranBtn::DrawTransparentBitmap(dest, image, 0, 65536, Qt::white));
    TMTranBtn::DrawTransparentBitmap(dest, image, 65535, 65535, Qt::white);
    QCOMPARE(dest, untouched);
}

void TestTranBtn::settersShouldRepaintOnlyWhenTheySay()
{
    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    PaintCounter counter(b);
    const auto paintsAfter = [&](auto&& change) { return counter.paintsAfter(change); };

    QCOMPARE(paintsAfter([&] { b->setBorder(BStyle::BsNormal); }), 0);
    QVERIFY(paintsAfter([&] { b->setBorder(BStyle::BsIe); }) > 0);
    QCOMPARE(paintsAfter([&] { b->setCaption(QStringLiteral("new title")); }), 0);
    QVERIFY(paintsAfter([&] { b->setBitMap(keyedImage()); }) > 0);
    QVERIFY(paintsAfter([&] { b->setBitMap(keyedImage()); }) > 0);
}

void TestTranBtn::everyMouseButtonShouldPressButOnlyLeftClicks()
{
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        Backing parent(QSize(125, 48));
        auto* b = new TMTranBtn(&parent);
        b->setBorder(BStyle::BsIe);
        QSignalSpy down(b, &TMTranBtn::OnMouseDown);
        QSignalSpy up(b, &TMTranBtn::OnMouseUp);
        QSignalSpy click(b, &TMTranBtn::OnClick);

        send(b, QEvent::MouseMove, QPoint(30, 10));
        send(b, QEvent::MouseButtonPress, QPoint(30, 10), button, button);
        QVERIFY(b->Pressed());
        QCOMPARE(at(shot(parent), 0, 0), QColor(b->palette().color(QPalette::Dark)).rgb());
        send(b, QEvent::MouseButtonRelease, QPoint(31, 11), button, Qt::NoButton);
        QVERIFY(!b->Pressed());

        QCOMPARE(down.count(), 1);
        QCOMPARE(down.at(0).at(1).value<Qt::MouseButton>(), button);
        QCOMPARE(down.at(0).at(3).toInt(), 30);
        QCOMPARE(up.count(), 1);
        QCOMPARE(up.at(0).at(4).toInt(), 11);
        QCOMPARE(click.count(), button == Qt::LeftButton ? 1 : 0);
    }

    // A left release outside the button is no click.
    Backing parent(QSize(200, 100));
    auto* b = new TMTranBtn(&parent);
    QSignalSpy click(b, &TMTranBtn::OnClick);
    send(b, QEvent::MouseButtonPress, QPoint(30, 10), Qt::LeftButton, Qt::LeftButton);
    send(b, QEvent::MouseButtonRelease, QPoint(150, 80), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(click.count(), 0);
    QVERIFY(!b->Pressed());
}

void TestTranBtn::unframedButtonShouldStayPressedWhenReleasedOffItsImage()
{
    Backing parent(QSize(125, 48));
    auto* b = new TMTranBtn(&parent);
    b->setBorder(BStyle::BSnone);
    b->setBitMap(keyedImage());
    const QPoint onImage(52 + 7, 19 + 4);

    // Before the first paint the image has no place yet, so nothing is hit.
    send(b, QEvent::MouseMove, onImage);
    QVERIFY(!b->MouseOver());
    (void)shot(parent);

    send(b, QEvent::MouseMove, QPoint(52 + 1, 19 + 1)); // a transparent pixel of the image
    QVERIFY(!b->MouseOver());
    send(b, QEvent::MouseButtonPress, QPoint(53, 20), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(!b->Pressed());
    send(b, QEvent::MouseButtonRelease, QPoint(53, 20), Qt::LeftButton, Qt::NoButton);

    send(b, QEvent::MouseMove, onImage);
    QVERIFY(b->MouseOver());
    send(b, QEvent::MouseButtonPress, onImage, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(b->Pressed());
    send(b, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::LeftButton);
    send(b, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
    QVERIFY(b->Pressed());
    QCOMPARE(at(shot(parent), 52 + 5 + 1, 19 + 3 + 1), QColor(QColor(Qt::blue)).rgb()); // still drawn pressed

    send(b, QEvent::MouseMove, onImage);
    send(b, QEvent::MouseButtonRelease, onImage, Qt::LeftButton, Qt::NoButton);
    QVERIFY(!b->Pressed());
    QCOMPARE(at(shot(parent), 52 + 5, 19 + 3), QColor(QColor(Qt::blue)).rgb());
}

void TestTranBtn::keyShouldShowSmallInTheTopRightCorner_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<BStyle>("style");
    QTest::addColumn<QString>("shownStart");
    QTest::addColumn<bool>("cut");
    QTest::newRow("short, IE") << QStringLiteral("F1") << BStyle::BsIe << QStringLiteral("F1") << false;
    QTest::newRow("short, normal") << QStringLiteral("F1") << BStyle::BsNormal << QStringLiteral("F1")
                                   << false;
    QTest::newRow("keypad") << QStringLiteral("Num+7") << BStyle::BsIe << QStringLiteral("Num+7") << false;
    QTest::newRow("long, IE") << QStringLiteral("Ctrl+Alt+Page Down") << BStyle::BsIe
                              << QStringLiteral("C+A+") << true;
    QTest::newRow("long, normal") << QStringLiteral("Ctrl+Alt+Page Down") << BStyle::BsNormal
                                  << QStringLiteral("C+A+") << true;
}

void TestTranBtn::keyShouldShowSmallInTheTopRightCorner()
{
    QFETCH(QString, key);
    QFETCH(BStyle, style);
    QFETCH(QString, shownStart);
    QFETCH(bool, cut);
    Backing parent(QSize(105, 42));
    auto* b = new TMTranBtn(&parent);
    b->setGeometry(0, 0, 105, 42);
    b->setFont(Fonts::arial(12));
    b->setBorder(style);
    b->setCaption(QStringLiteral("Opening Theme"));
    b->setShowKey(true);
    const QImage without = shot(parent);
    b->setKeyHint(key);
    const QImage with = shot(parent);

    const TMTranBtn::KeyLayout layout = TMTranBtn::layoutKey(key, b->font(), b->size());
    QVERIFY2(layout.text.startsWith(shownStart), qPrintable(layout.text));
    QCOMPARE(layout.text.endsWith(QStringLiteral("...")), cut);
    QVERIFY(QFontMetrics(TMTranBtn::keyFont(b->font())).height() < QFontMetrics(b->font()).height());
    // In the right half, inside the frame and the focus mark; nothing else changes.
    QVERIFY(layout.rect.left() >= 105 / 2 && layout.rect.right() < 104 - 3 && layout.rect.top() > 3);
    QRect changed;
    for (int y = 0; y < 42; ++y)
        for (int x = 0; x < 105; ++x)
            if (with.pixel(x, y) != without.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    QVERIFY(!changed.isEmpty());
    QVERIFY2(layout.rect.contains(changed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                           .arg(changed.x())
                                                           .arg(changed.y())
                                                           .arg(changed.width())
                                                           .arg(changed.height())));
    // Switched off, the button looks as one without a key.
    b->setShowKey(false);
    QCOMPARE(shot(parent), without);
}

QTEST_MAIN(TestTranBtn)
#include "tst_tranbtn.moc"
