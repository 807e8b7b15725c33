// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Ansi.h"
#include "songs/StandIn.h"

#include <QTest>

class TestStandIn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordGetsTheNearestReadableText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QString>("near");
        QTest::newRow("held as it is")
            << QStringLiteral("Café – “live”") << 40 << QStringLiteral("Café – “live”");
        QTest::newRow("accents dropped where not held")
            << QStringLiteral("Dvořák Łódź") << 40 << QStringLiteral("Dvorák Lódz");
        QTest::newRow("Cyrillic") << QStringLiteral("/show/Шоу/Аплодисменты.wav") << 255
                                  << QStringLiteral("/show/Shou/Aplodismenty.wav");
        QTest::newRow("capitals") << QStringLiteral("ЩИТ") << 40 << QStringLiteral("ShchIT");
        QTest::newRow("Greek with accents")
            << QStringLiteral("Χειροκρότημα") << 40 << QStringLiteral("Cheirokrotima");
        QTest::newRow("Arabic and its digits")
            << QStringLiteral("تصفيق ٣") << 40 << QStringLiteral("tsfyq 3");
        QTest::newRow("CJK") << QStringLiteral("拍手.wav") << 255 << QStringLiteral("{62CD}{624B}.wav");
        QTest::newRow("emoji with its joiners")
            << QStringLiteral("👍🏽 ❤️") << 40 << QStringLiteral("{1F44D}{1F3FD} {2764}");
        QTest::newRow("wide forms and ligatures")
            << QStringLiteral("ＡＢ ﬁn") << 40 << QStringLiteral("AB fin");
        QTest::newRow("cut before a piece that does not fit")
            << QStringLiteral("ab拍") << 7 << QStringLiteral("ab");
        QTest::newRow("long text cut")
            << QStringLiteral("x").repeated(300) << 255 << QStringLiteral("x").repeated(255);
    }

    void recordGetsTheNearestReadableText()
    {
        QFETCH(QString, text);
        QFETCH(int, capacity);
        QFETCH(QString, near);
        const QString got = standIn(text, capacity);
        QCOMPARE(got, near);
        QVERIFY(Ansi::holds(got));
        QVERIFY(got.size() <= capacity);
    }

    void cutNeverSplitsACharacter()
    {
        QCOMPARE(cutText(QStringLiteral("ab🎉c"), 3), QStringLiteral("ab"));
        QCOMPARE(cutText(QStringLiteral("ab🎉c"), 4), QStringLiteral("ab🎉"));
    }
};

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_standin.moc"
