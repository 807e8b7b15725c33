// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/SystemColors.h"
#include "windows/Splash.h"

#include <QLabel>
#include <QMessageBox>
#include <QTest>

class TestSplash : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsLoadingWheneverItIsShown()
    {
        TfrmSplash splash;
        QCOMPARE(splash.lblContinue->text(), QStringLiteral("Click on me to continue"));
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QCOMPARE(splash.lblContinue->text(), QStringLiteral("Loading. . ."));
        splash.hide();
        splash.show();
        QCOMPARE(splash.lblContinue->text(), QStringLiteral("Loading. . ."));
        QVERIFY(splash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    }

    void aBoxThatOpensWhileItIsUpComesToTheFront()
    {
        TfrmSplash splash;
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        QWidget plain; // the main window closes it itself
        plain.show();
        QVERIFY(splash.isVisible());
        QMessageBox box(QMessageBox::Information, QStringLiteral("Sonavex"), QStringLiteral("A message"));
        box.show();
        QVERIFY(!splash.isVisible());
    }

    void clickOnLogoOrLabelHidesIt_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("hides");
        QTest::newRow("logo") << QStringLiteral("imgLogo") << true;
        QTest::newRow("loading text") << QStringLiteral("lblContinue") << true;
        QTest::newRow("company name") << QStringLiteral("lblCompanyName") << false;
    }

    void clickOnLogoOrLabelHidesIt()
    {
        QFETCH(QString, target);
        QFETCH(bool, hides);
        TfrmSplash splash;
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        auto* widget = splash.findChild<QLabel*>(target);
        QVERIFY(widget);
        QTest::mouseClick(widget, Qt::LeftButton);
        QCOMPARE(splash.isVisible(), !hides);
    }

    void textsFitTheirLabels()
    {
        TfrmSplash splash;
        const auto* name = splash.findChild<QLabel*>(QStringLiteral("lblCompanyName"));
        QVERIFY(name);
        QVERIFY(name->fontMetrics().horizontalAdvance(name->text()) <= name->width());
        splash.show();
        const QLabel* loading = splash.lblContinue;
        QVERIFY(loading->fontMetrics().horizontalAdvance(loading->text()) <= loading->width());
        QCOMPARE(splash.size(), QSize(552, 368));
    }

    void bevelsTakeTheSystemColours()
    {
        // A raised two-pixel bevel round the maroon panel, a lowered one round the olive one.
        TfrmSplash splash;
        const QImage img = splash.grab().toImage();
        const QRgb light = SystemColors::btnHighlight(splash).rgb();
        const QRgb dark = SystemColors::btnShadow(splash).rgb();
        const QList<std::tuple<int, int, QRgb>> pixels{
            {0, 0, light},           {1, 1, light},  {551, 367, dark},  {550, 366, dark},
            {2, 2, qRgb(128, 0, 0)}, {13, 16, dark}, {538, 350, light}, {14, 17, qRgb(128, 128, 0)}};
        for (const auto& [x, y, colour] : pixels)
            QCOMPARE(img.pixel(x, y), colour);
    }
};

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
