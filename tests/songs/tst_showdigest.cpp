// SPDX-License-Identifier: GPL-3.0-or-later
// A backup and its main compare their shows slot by slot: what an operator would call a
// different show must differ, and a show kept in another folder must not.
#include "songs/ShowDigest.h"

#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

class TestShowDigest : public QObject, private StoreFixture {
    Q_OBJECT

    using Change = std::function<void(TestShowDigest&)>;

    QString m_song;

    [[nodiscard]] QString path(const QString& name) const { return m_env->root() + QLatin1Char('/') + name; }

    static void write(const QString& file, const QByteArray& bytes, const QDateTime& at)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
        QVERIFY(f.flush()); // or closing it would write, and date it now
        QVERIFY(f.setFileTime(at, QFileDevice::FileModificationTime));
    }
    static QDateTime noon() { return QDateTime(QDate(2026, 11, 1), QTime(12, 0), Qt::UTC); }

private Q_SLOTS:
    void init()
    {
        setUpStore();
        m_song = path(QStringLiteral("music/song.wav"));
        write(m_song, QByteArray(1000, 'a'), noon());
        m_store->SetSong(0, 0, makeSong(QStringLiteral("Song"), 0, 0, m_song));
    }
    void cleanup() { tearDownStore(); }

    void aSlotDiffersWhenWhatItPlaysDoes_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QList<int>>("differing");
        const auto row = [](const char* name, Change change, QList<int> differing) {
            QTest::newRow(name) << change << differing;
        };
        row("nothing changed", [](TestShowDigest&) {}, {});
        row("its title",
            [](TestShowDigest& t) { t.m_store->SetSong(0, 0, makeSong(u"Other"_s, 0, 0, t.m_song)); }, {0});
        row("its button settings",
            [](TestShowDigest& t) {
                ButtonSettings layer;
                layer.layer = true;
                t.m_store->setButtonSettings(0, 0, layer);
            },
            {0});
        row("its song file grown", [](TestShowDigest& t) { write(t.m_song, QByteArray(1001, 'a'), noon()); },
            {0});
        row("its song file written again",
            [](TestShowDigest& t) { write(t.m_song, QByteArray(1000, 'b'), noon().addSecs(60)); }, {0});
        row("its song file touched, the same inside",
            [](TestShowDigest& t) { write(t.m_song, QByteArray(1000, 'a'), noon().addDays(1)); }, {});
        row("its song file gone", [](TestShowDigest& t) { QFile::remove(t.m_song); }, {0});
        row("cleared", [](TestShowDigest& t) { t.m_store->ClearSong(0, 0); }, {0});
        row("a song put on sheet 3 button 5",
            [](TestShowDigest& t) { t.m_store->SetSong(2, 4, makeSong(u"New"_s, 2, 4, t.m_song)); },
            {2 * 36 + 4});
        row("the same file in another folder",
            [](TestShowDigest& t) {
                const QString moved = t.path(u"elsewhere/song.wav"_s);
                write(moved, QByteArray(1000, 'a'), noon());
                t.m_store->SetSong(0, 0, makeSong(u"Song"_s, 0, 0, moved));
            },
            {});
    }
    void aSlotDiffersWhenWhatItPlaysDoes()
    {
        QFETCH(Change, change);
        QFETCH(QList<int>, differing);
        const QStringList before = ShowDigest::of(*m_store);
        QCOMPARE(before.size(), 360);
        QCOMPARE(before[1], u"-"_s);
        change(*this);
        QCOMPARE(ShowDigest::differing(before, ShowDigest::of(*m_store)), differing);
    }

    void takenOnAThreadOfItsOwn()
    {
        ShowDigest digest(*m_store);
        QSignalSpy taken(&digest, &ShowDigest::digestTaken);
        digest.request();
        digest.request(); // while one is taken: once more after it
        QTRY_COMPARE(taken.size(), 2);
        QCOMPARE(taken.last().first().toStringList(), ShowDigest::of(*m_store));
    }

    void aShortOrMissingDigestDiffersEverywhereItLacks()
    {
        const QStringList here = ShowDigest::of(*m_store);
        QCOMPARE(ShowDigest::differing(here, here.mid(0, 358)), (QList<int>{358, 359}));
        QCOMPARE(ShowDigest::differing(here, {}).size(), 360);
    }

    void theSlotsAreNamedAsTheOperatorCountsThem()
    {
        QCOMPARE(ShowDigest::slotsText({0, 37}), u"sheet 1 button 1, sheet 2 button 2"_s);
        QCOMPARE(ShowDigest::slotsText({0, 1, 2}, 40, 2),
                 u"sheet 1 button 1, sheet 1 button 2, and 38 more"_s);
        QCOMPARE(ShowDigest::slotsText({0, 1, 2, 3, 4, 5, 6}),
                 u"sheet 1 button 1, sheet 1 button 2, sheet 1 button 3, sheet 1 button 4, "
                 u"sheet 1 button 5, and 2 more"_s);
    }
};

QTEST_GUILESS_MAIN(TestShowDigest)
#include "tst_showdigest.moc"
