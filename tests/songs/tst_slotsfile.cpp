// SPDX-License-Identifier: GPL-3.0-or-later
#include "songs/SlotsFile.h"

#include <QTest>

class TestSlotsFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void companionIsNamedAfterTheSongFile()
    {
        QCOMPARE(SlotsFile::pathFor(QStringLiteral("/a/songs.inf")), QStringLiteral("/a/songs.slots"));
        QCOMPARE(SlotsFile::pathFor(QStringLiteral("/a/SHOW.INF")), QStringLiteral("/a/SHOW.slots"));
        QCOMPARE(SlotsFile::pathFor(QStringLiteral("/a/songs.inf.saved-1")),
                 QStringLiteral("/a/songs.inf.saved-1.slots"));
    }

    void valuesOfAnyTextRoundTrip()
    {
        // Blanks at either end, "%", control characters, other scripts, and keys to come.
        const SlotsFile::Keys keys = {{QStringLiteral("file"), QStringLiteral(" /a/Аплодисменты 100%.wav ")},
                                      {QStringLiteral("title"), QStringLiteral("two\nlines\x01\u0085 拍手🎉")},
                                      {QStringLiteral("volume"), QStringLiteral("-6.5")}};
        const QByteArray text = SlotsFile::write({{9, 35, keys}});
        QVERIFY2(text.contains("file = %20/a/Аплодисменты 100%25.wav%20\n"), text.constData());
        const SlotsFile::Parsed parsed = SlotsFile::parse(text);
        QCOMPARE(parsed.kind, SlotsFile::Parsed::Kind::Read);
        QCOMPARE(parsed.entries.size(), 1);
        QCOMPARE(parsed.entries[0].sheet, 9);
        QCOMPARE(parsed.entries[0].slot, 35);
        QCOMPARE(parsed.entries[0].keys, keys);
    }

    void handWrittenFileIsRead()
    {
        const SlotsFile::Parsed parsed =
            SlotsFile::parse("\xEF\xBB\xBF; by hand\r\n[Sonavex]\r\nversion=1\r\nlater = x\r\n"
                             "[0,1]\r\n  title   =  Χ  \r\n# note\r\n");
        QCOMPARE(parsed.kind, SlotsFile::Parsed::Kind::Read);
        QCOMPARE(parsed.entries.size(), 1);
        QCOMPARE(parsed.entries[0].keys, (SlotsFile::Keys{{QStringLiteral("title"), QStringLiteral("Χ")}}));
    }

    void damagedOrNewerFilesAreToldApart_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<SlotsFile::Parsed::Kind>("kind");
        const QByteArray head = "[Sonavex]\nversion = 1\n";
        QTest::newRow("empty") << QByteArray() << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("no header") << QByteArray("[0,0]\ntitle = a\n") << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("a key first") << QByteArray("title = a\n") << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("no version") << QByteArray("[Sonavex]\n[0,0]\n") << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("slot out of range") << head + "[10,0]\n" << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("not a key") << head + "[0,0]\njust text\n" << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("bad escape") << head + "[0,0]\ntitle = 5%\n" << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("not UTF-8") << head + "[0,0]\ntitle = \xff\xfe\n" << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("cut in the middle") << head + "[0,0]\nti" << SlotsFile::Parsed::Kind::Damaged;
        QTest::newRow("newer") << QByteArray("[Sonavex]\nversion = 2\n[0,0]\nnew syntax\n")
                               << SlotsFile::Parsed::Kind::Newer;
    }

    void damagedOrNewerFilesAreToldApart()
    {
        QFETCH(QByteArray, text);
        QFETCH(SlotsFile::Parsed::Kind, kind);
        const SlotsFile::Parsed parsed = SlotsFile::parse(text);
        QCOMPARE(parsed.kind, kind);
        if (kind != SlotsFile::Parsed::Kind::Read)
            QVERIFY(parsed.entries.isEmpty() && !parsed.problem.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSlotsFile)
#include "tst_slotsfile.moc"
