// SPDX-License-Identifier: GPL-3.0-or-later
#include "songs/SongLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSongLocator : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString show() const { return m_dir.path() + QLatin1String("/show"); }

    static void touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* name :
             {"sfx/bell.wav", "backup/sfx/bell.wav", "applause.wav", "Music/Intro.MP3", "show/cue.wav",
              "cue.wav", "perc/drums/kick.wav", "kits/kick.wav", "two/dup.wav", "one/dup.wav",
              "d1/d2/d3/d4/deep.wav", "d1/d2/d3/d4/d5/deeper.wav", "Шоу/Аплодисменты.wav", "拍手.wav"})
            touch(show() + QLatin1Char('/') + QString::fromUtf8(name));
        touch(m_dir.path() + QLatin1String("/beside.wav")); // outside the show's folder
    }

    void shouldFindMovedSongs_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("found"); // below the show's folder; "cdda://..." as is; empty: nothing
        QTest::addColumn<int>("candidates");
        QTest::newRow("tail below the folder beats the same tail deeper") << "/old/disk/Show/sfx/bell.wav"
                                                                          << "sfx/bell.wav" << 1;
        QTest::newRow("longest tail") << "/x/old/show/cue.wav"
                                      << "show/cue.wav" << 1;
        QTest::newRow("older system, upper case") << "C:\\SOUNDS\\APPLAUSE.WAV"
                                                  << "applause.wav" << 1;
        QTest::newRow("older system, mixed case tail") << "c:\\show\\MUSIC\\intro.mp3"
                                                       << "Music/Intro.MP3" << 1;
        QTest::newRow("relative") << "music/intro.mp3"
                                  << "Music/Intro.MP3" << 1;
        QTest::newRow("name anywhere, most shared folders") << "/m/drums/kick.wav"
                                                            << "perc/drums/kick.wav" << 1;
        QTest::newRow("two of equal weight: first by name") << "/gone/dup.wav"
                                                            << "one/dup.wav" << 2;
        QTest::newRow("four folders deep") << "/gone/deep.wav"
                                           << "d1/d2/d3/d4/deep.wav" << 1;
        QTest::newRow("five folders deep is beyond") << "/gone/deeper.wav"
                                                     << "" << 0;
        QTest::newRow("outside the folder") << "/gone/beside.wav"
                                            << "" << 0;
        QTest::newRow("nowhere") << "/gone/nothing.wav"
                                 << "" << 0;
        QTest::newRow("named in Cyrillic") << "/old/Шоу/Аплодисменты.wav"
                                           << "Шоу/Аплодисменты.wav" << 1;
        QTest::newRow("by the stand-in a record holds of it") << "/home/op/Shou/APLODISMENTY.wav"
                                                              << "Шоу/Аплодисменты.wav" << 1;
        QTest::newRow("by the codes a record holds of CJK") << "C:\\SHOW\\{62CD}{624B}.WAV"
                                                            << "拍手.wav" << 1;
        QTest::newRow("empty") << ""
                               << "" << 0;
        QTest::newRow("older CD track") << "D:\\Track02.cda"
                                        << "cdda://Track02.cda" << 1;
        QTest::newRow("older CD track, any letter and case") << "e:\\TRACK11.CDA"
                                                             << "cdda://Track11.cda" << 1;
        QTest::newRow("this program's CD track") << "cdda://Track03.cda"
                                                 << "" << 0;
        QTest::newRow("no track 00") << "D:\\Track00.cda"
                                     << "" << 0;
    }

    void shouldFindMovedSongs()
    {
        QFETCH(QString, stored);
        QFETCH(QString, found);
        QFETCH(int, candidates);
        SongLocator locator(show());
        const SongLocator::Found result = locator.locate(stored);
        if (!found.isEmpty() && !found.startsWith(QLatin1String("cdda://")))
            found = show() + QLatin1Char('/') + found;
        QCOMPARE(result.path, found);
        QCOMPARE(result.candidates, candidates);
    }

    void shouldLeaveSongsThatAreThereAndNotReadTheFolderForThem()
    {
        SongLocator locator(show() + QLatin1Char('/'));
        QCOMPARE(locator.locate(show() + QLatin1String("/cue.wav")).path, QString());
        QCOMPARE(locator.fileCount(), 0);
    }

    void shouldStopReadingAtItsBound()
    {
        QTemporaryDir big;
        for (int i = 0; i < 10000; ++i)
            touch(big.path() + QStringLiteral("/Song %1.wav").arg(i, 5, 10, QLatin1Char('0')));
        SongLocator locator(big.path());
        // In name order: the first files are in, the last ones beyond the bound.
        QCOMPARE(locator.locate(QStringLiteral("C:\\X\\SONG 00010.WAV")).path,
                 big.path() + QLatin1String("/Song 00010.wav"));
        QCOMPARE(locator.fileCount(), SongLocator::MaxFiles);
        QVERIFY(locator.truncated());
        QCOMPARE(locator.locate(QStringLiteral("C:\\X\\SONG 09999.WAV")).path, QString());
    }
};

QTEST_GUILESS_MAIN(TestSongLocator)
#include "tst_songlocator.moc"
