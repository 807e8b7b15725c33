// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmFade.h"

#include <QLabel>
#include <QSlider>
#include <QTest>

namespace {

bool dark(QRgb pixel)
{
    return qGray(pixel) < 200; // ticks are mid grey, the numbers black, the face light grey
}

/// Centres of the runs of dark columns in rows [top, bottom] between x0 and x1.
QList<double> inkCentres(const QImage& img, int top, int bottom, int x0, int x1)
{
    QList<double> centres;
    int start = -1;
    for (int x = x0; x <= x1 + 1; ++x) {
        bool ink = false;
        for (int y = top; x <= x1 && y <= bottom && !ink; ++y)
            ink = dark(img.pixel(x, y));
        if (ink && start < 0)
            start = x;
        if (!ink && start >= 0) {
            centres << (start + x - 1) / 2.0;
            start = -1;
        }
    }
    return centres;
}

} // namespace

class TestFadeCtrl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ticksStandOverTheNumbers()
    {
        TfrmFadeCtrl dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QImage img = dialog.grab().toImage();
        const QRect bar = dialog.tbFade->geometry();

        // The numbers' ink, and the tick marks in the lowest rows of the track bar.
        const QList<double> numbers = inkCentres(img, 87, 87 + 10, 0, img.width() - 1);
        QCOMPARE(numbers.size(), 5);
        const QList<double> ticks =
            inkCentres(img, bar.bottom() - 5, bar.bottom() - 1, bar.left(), bar.right());
        QCOMPARE(ticks.size(), 5);
        for (int i = 0; i < 5; ++i)
            QVERIFY2(qAbs(ticks[i] - numbers[i]) <= 1.5,
                     qPrintable(QStringLiteral("tick %1 at %2, its number at %3")
                                    .arg(i + 1)
                                    .arg(ticks[i])
                                    .arg(numbers[i])));
    }
};

QTEST_MAIN(TestFadeCtrl)
#include "tst_frmfade.moc"
