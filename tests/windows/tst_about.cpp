// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/About.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestAbout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void closesWithTheResultOfHowItWasClosed_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << 0 << int(QDialog::Accepted);
        QTest::newRow("Return") << 1 << int(QDialog::Accepted);
        QTest::newRow("OK clicked") << 2 << int(QDialog::Accepted);
        QTest::newRow("close box") << 3 << int(QDialog::Rejected);
    }

    void closesWithTheResultOfHowItWasClosed()
    {
        QFETCH(int, how);
        QFETCH(int, result);
        TfrmAbout about;
        about.setResult(-1);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        switch (how) {
        case 0:
            QTest::keyClick(&about, Qt::Key_Enter);
            break;
        case 1:
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            break;
        case 2:
            QTest::mouseClick(about.Button1, Qt::LeftButton);
            break;
        default:
            about.close();
            break;
        }
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), result);
    }

    void everythingFitsTheFixedBox_data()
    {
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("nothing to note") << QStringList{};
        QTest::newRow("a long note") << QStringList{
            QStringLiteral("The level cache /home/operator/.cache/Sonavex/levels.json cannot be read "
                           "(it is not a file): songs are measured again in each run.")};
    }

    void everythingFitsTheFixedBox()
    {
        QFETCH(QStringList, notes);
        TfrmAbout about(nullptr, notes);
        if (notes.isEmpty()) {
            QCOMPARE(about.size(), QSize(556, 250));
            QVERIFY(!about.findChild<QLabel*>(QStringLiteral("lblNotes")));
        } else {
            // Said whole, above OK, inside the box.
            const auto* lblNotes = about.findChild<QLabel*>(QStringLiteral("lblNotes"));
            QVERIFY(lblNotes);
            QCOMPARE(lblNotes->text(), notes.join(QLatin1Char('\n')));
            QVERIFY(lblNotes->height() >= lblNotes->heightForWidth(lblNotes->width()));
            QVERIFY(lblNotes->geometry().bottom() < about.Button1->geometry().top());
            QVERIFY(about.rect().contains(about.Button1->geometry()));
        }
        const auto* label = about.findChild<QLabel*>(QStringLiteral("Label1"));
        QVERIFY(label);
        // One line of text: it must not be cut at either end.
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        const auto* image = about.findChild<QLabel*>(QStringLiteral("Image1"));
        QVERIFY(image);
        QCOMPARE(image->pixmap().deviceIndependentSize().toSize(), QSize(161, 123));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
