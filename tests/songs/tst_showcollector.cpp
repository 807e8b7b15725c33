// SPDX-License-Identifier: GPL-3.0-or-later
#include "songs/ShowCollector.h"

#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"
#include "platform/Errors.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <unistd.h>

class TestShowCollector : public QObject, private StoreFixture {
    Q_OBJECT

    QString m_music; ///< where the songs live on the computer the show was prepared on

    static void writeFile(const QString& path, const QByteArray& data)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), data.size());
    }

    static QByteArray contentOf(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QStringList entriesBelow(const QString& folder)
    {
        QStringList entries;
        QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            entries << it.next();
        return entries;
    }

    void setSong(int sheet, int slot, const QString& file, const QString& title = QStringLiteral("Song"))
    {
        TSongRecord rec;
        InitSongRecord(rec);
        rec.Sheet = sheet;
        rec.Slot = slot;
        m_store->SetSong(sheet, slot, rec,
                         SongTexts{QStringLiteral("Artist"), QStringLiteral("Album"), title, file});
    }

    /// A show of three song files (one on two buttons, one with a title no record holds), a
    /// song that is gone, a CD track, and its settings.
    void prepareShow()
    {
        m_music = m_env->root() + QLatin1String("/music");
        writeFile(m_music + QLatin1String("/intro.wav"), QByteArray(300000, 'i'));
        writeFile(m_music + QLatin1String("/sfx/bell.wav"), QByteArray(5000, 'b'));
        writeFile(m_music + QLatin1String("/other/bell.wav"), QByteArray(7000, 'o'));
        setSong(0, 0, m_music + QLatin1String("/intro.wav"), QStringLiteral("Intro – ") + QString(60, u'я'));
        setSong(0, 1, m_music + QLatin1String("/sfx/bell.wav"));
        setSong(3, 35, m_music + QLatin1String("/other/bell.wav"));
        setSong(9, 2, m_music + QLatin1String("/intro.wav"));
        setSong(1, 4, QStringLiteral("/gone/away.wav"));
        setSong(2, 0, QStringLiteral("Track03.cda"));
        m_store->setButtonSettings(0, 1, buttonPlaying(-6.0, ButtonSettings::Mode::Toggle, true));
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\Tabs"), true);
        m_registry->WriteString(QStringLiteral("Tab0"), QStringLiteral("Act One"));
        m_registry->CloseKey();
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\Midi"), true);
        m_registry->WriteString(QStringLiteral("Note60"), QStringLiteral("play 0 0"));
        m_registry->CloseKey();
    }

    [[nodiscard]] QString target() const { return m_env->root() + QLatin1String("/packed/show"); }

private Q_SLOTS:
    void init()
    {
        setUpStore();
        prepareShow();
    }
    void cleanup() { tearDownStore(); }

    void shouldPackAShowThatPlaysFromAnotherFolder()
    {
        const ShowCollector::Plan plan = ShowCollector::plan(*m_store, *m_registry, target());
        QCOMPARE(plan.songs.size(), 3); // intro once, though two buttons use it
        QCOMPARE(plan.bytes, 312000);
        QList<qint64> steps;
        const ShowCollector::Report report =
            ShowCollector().run(plan, [&](qint64 done, qint64) { steps << done; });
        QCOMPARE(report.outcome, ShowCollector::Report::Outcome::Done);
        QVERIFY(!report.complete(plan)); // one song was missing
        QCOMPARE(report.bytes, 312000);
        QCOMPARE(steps.last(), 2 * plan.bytes);
        const QString text = report.text(plan);
        QVERIFY2(text.contains(QLatin1String("sheet 2, button 5: /gone/away.wav")), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("Track03.cda")));
        QVERIFY(text.contains(QLatin1String("312000 bytes")));
        const QByteArray settings = contentOf(target() + QLatin1String("/show.ini"));
        QVERIFY(settings.contains("[Tabs]\nTab0=Act One\n"));
        QVERIFY(settings.contains("[Midi]\nNote60=play 0 0\n"));

        // Another computer: the folder somewhere else, the music gone.
        const QString venue = m_env->root() + QLatin1String("/venue");
        QVERIFY(QDir().rename(target(), venue));
        QVERIFY(QDir(m_music).removeRecursively());
        m_store.reset();
        m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\Tabs"), true);
        m_registry->WriteString(QStringLiteral("Tab0"), QStringLiteral("The venue's own"));
        m_registry->WriteString(QStringLiteral("Tab1"), QStringLiteral("Gone after the open"));
        m_registry->CloseKey();
        QVERIFY_THROWS_EXCEPTION(GeneralError, ShowCollector::openShow(*m_registry, m_music));
        const QString opened = ShowCollector::openShow(*m_registry, venue);
        QVERIFY2(contentOf(m_env->dataDir() + QLatin1String("/show.ini")).contains("Tab0=The venue's own"),
                 qPrintable(opened));
        QCOMPARE(ShowCollector::settingsText(*m_registry, {QStringLiteral("Tabs")}),
                 QByteArray("[Tabs]\nTab0=Act One\n\n"));
        m_store = openStore();
        QCOMPARE(m_store->infoPath(), venue + QLatin1String("/songs.inf"));
        const auto playsFrom = [this](int sheet, int slot) {
            return m_store->playPath(m_store->fileName(sheet, slot));
        };
        QCOMPARE(contentOf(playsFrom(0, 0)), QByteArray(300000, 'i'));
        QCOMPARE(contentOf(playsFrom(9, 2)), QByteArray(300000, 'i'));
        QCOMPARE(contentOf(playsFrom(0, 1)), QByteArray(5000, 'b'));
        QCOMPARE(contentOf(playsFrom(3, 35)), QByteArray(7000, 'o'));
        QVERIFY(playsFrom(0, 1).startsWith(venue + QLatin1String("/songs/")));
        QCOMPARE(m_store->title(0, 0), QStringLiteral("Intro – ") + QString(60, u'я'));
        QCOMPARE(m_store->buttonSettings(0, 1), buttonPlaying(-6.0, ButtonSettings::Mode::Toggle, true));
        QCOMPARE(m_store->fileName(1, 4), QStringLiteral("/gone/away.wav"));
        QCOMPARE(m_store->fileName(2, 0), QStringLiteral("Track03.cda"));
    }

    void shouldKeepPathsTheRecordCannotHoldInTheCompanion()
    {
        const QString deep =
            m_env->root() + QLatin1Char('/') + QString(120, u'd') + QLatin1Char('/') + QString(120, u'e');
        const ShowCollector::Plan plan = ShowCollector::plan(*m_store, *m_registry, deep);
        QCOMPARE(plan.longPaths.size(), 3);
        const ShowCollector::Report report = ShowCollector().run(plan);
        QCOMPARE(report.outcome, ShowCollector::Report::Outcome::Done);
        QVERIFY(report.text(plan).contains(QLatin1String("kept in full in songs.slots: 3")));
        m_store.reset();
        setInfoPath(deep + QLatin1String("/songs.inf"));
        m_store = openStore();
        QCOMPARE(m_store->fileName(0, 1), deep + QLatin1Char('/') + plan.songs[1].copy);
        QCOMPARE(contentOf(m_store->fileName(0, 1)), QByteArray(5000, 'b'));
    }

    void shouldLeaveNothingWhenStopped_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("says");
        QTest::newRow("cancel") << "cancel"
                                << "cancelled";
        QTest::newRow("disk full in a song") << "full:100000"
                                             << "the disk is full (writing";
        QTest::newRow("disk full in the song file") << "full:312000"
                                                    << "songs.inf";
        QTest::newRow("song gone since the plan") << "gone"
                                                  << "could not be read";
        QTest::newRow("folder not empty") << "busy"
                                          << "is not empty";
    }
    void shouldLeaveNothingWhenStopped()
    {
        QFETCH(QString, fault);
        QFETCH(QString, says);
        const ShowCollector::Plan plan = ShowCollector::plan(*m_store, *m_registry, target());
        std::atomic<bool> cancel = false;
        qint64 room = -1;
        if (fault.startsWith(QLatin1String("full:")))
            room = fault.mid(5).toLongLong();
        if (fault == QLatin1String("gone"))
            QVERIFY(QFile::remove(m_music + QLatin1String("/other/bell.wav")));
        if (fault == QLatin1String("busy"))
            writeFile(target() + QLatin1String("/notes.txt"), "mine");
        const QStringList before = entriesBelow(m_env->root());
        const ShowCollector collector([&room](int fd, const void* data, std::size_t size) -> ssize_t {
            if (room < 0)
                return ::write(fd, data, size);
            if (room == 0) {
                errno = ENOSPC;
                return -1;
            }
            const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, static_cast<std::size_t>(room)));
            room -= n;
            return n;
        });
        const ShowCollector::Report report = collector.run(
            plan,
            [&](qint64 done, qint64) {
                if (fault == QLatin1String("cancel") && done > 100000)
                    cancel = true;
            },
            &cancel);
        QVERIFY(report.outcome != ShowCollector::Report::Outcome::Done);
        QVERIFY2(report.text(plan).contains(says), qPrintable(report.text(plan)));
        QCOMPARE(entriesBelow(m_env->root()), before); // "packed" too is gone again
    }

    void shouldSayAFullDiskOfARealFileSystem()
    {
        const QString small = m_env->root() + QLatin1String("/small");
        QDir().mkpath(small);
        if (::geteuid() != 0 ||
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=200k"), QStringLiteral("tmpfs"), small}) != 0)
            QSKIP("a small file system needs root");
        const ShowCollector::Plan plan =
            ShowCollector::plan(*m_store, *m_registry, small + QLatin1String("/show"));
        const ShowCollector::Report report = ShowCollector().run(plan);
        const QStringList left = entriesBelow(small);
        QProcess::execute(QStringLiteral("umount"), {small});
        QVERIFY2(report.error.contains(QLatin1String("the disk is full")), qPrintable(report.error));
        QVERIFY(left.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestShowCollector)
#include "tst_showcollector.moc"
