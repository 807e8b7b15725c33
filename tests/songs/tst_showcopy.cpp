// SPDX-License-Identifier: GPL-3.0-or-later
// A backup takes its main's whole show: the same slots, button settings and sheet names, its
// songs found in its own show folder, and its own show kept aside first. The frame comes from
// the network: what is not a show changes nothing.
#include "songs/ShowCopy.h"

#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"
#include "songs/ShowDigest.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestShowCopy : public QObject, private StoreFixture {
    Q_OBJECT

    QTemporaryDir m_mainDir; ///< the main board's computer

    static void touch(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    /// The main's show: two songs, one a layer, on sheets 1 and 4.
    [[nodiscard]] QJsonObject mainShow()
    {
        IniRegistry registry(m_mainDir.path() + u"/config"_s);
        registry.OpenKey(u"\\Software\\Brasswold\\System"_s, true);
        registry.WriteString(u"InfoPath"_s, m_mainDir.path() + u"/songs.inf"_s);
        registry.CloseKey();
        FakeDialogs dialogs;
        TSongInfo main(registry, dialogs);
        main.SetSong(0, 0, makeSong(u"Walk-in"_s, 0, 0, m_mainDir.path() + u"/music/walkin.wav"_s));
        main.SetSong(3, 7, makeSong(u"Rain"_s, 3, 7, m_mainDir.path() + u"/music/fx/rain.wav"_s));
        ButtonSettings layer;
        layer.layer = true;
        layer.duckDb = 12;
        main.setButtonSettings(3, 7, layer);
        QStringList names;
        for (int sheet = 0; sheet < 10; ++sheet)
            names << u"Act %1"_s.arg(sheet + 1);
        main.leaveFileAsIs();
        return ShowCopy::toJson(main, names);
    }

private Q_SLOTS:
    void init()
    {
        setUpStore();
        // The main's songs copied into the backup's show folder, and the backup's own show.
        touch(m_env->dataDir() + u"/music/walkin.wav"_s, "walk");
        touch(m_env->dataDir() + u"/music/fx/rain.wav"_s, "rain");
        m_store->SetSong(0, 1, makeSong(u"Own"_s, 0, 1, m_env->dataDir() + u"/own.wav"_s));
    }
    void cleanup() { tearDownStore(); }

    void takesTheMainsShowAndKeepsItsOwnAside()
    {
        const QByteArray own = m_store->imagesRenamed({}).first;
        const QString kept = ShowCopy::keepAside(*m_store, QDateTime(QDate(2026, 12, 10), QTime(19, 30)));
        QCOMPARE(kept, m_infoPath + u".before-copy-20261210-193000"_s);
        QCOMPARE(readFile(kept), own);

        const auto names = ShowCopy::apply(mainShow(), *m_store);
        QVERIFY(names);
        QCOMPARE(names->size(), 10);
        QCOMPARE(names->at(3), u"Act 4"_s);
        QCOMPARE(m_store->title(0, 0), u"Walk-in"_s);
        QCOMPARE(m_store->title(3, 7), u"Rain"_s);
        TSongRecord rec;
        QVERIFY(!m_store->GetSong(0, 1, rec)); // its own song's slot is empty there
        QCOMPARE(m_store->buttonSettings(3, 7).duckDb, 12.0);
        QVERIFY(m_store->buttonSettings(3, 7).layer);
        // Played from this board's folder, not the main's.
        QCOMPARE(m_store->fileName(3, 7), m_env->dataDir() + u"/music/fx/rain.wav"_s);
    }

    void whatIsNoShowChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("another frame") << QByteArray("t") << QJsonValue(u"state"_s);
        QTest::newRow("nine sheets") << QByteArray("sheets")
                                     << QJsonValue(QJsonArray{1, 2, 3, 4, 5, 6, 7, 8, 9});
        QTest::newRow("no sheets") << QByteArray("sheets") << QJsonValue();
    }
    void whatIsNoShowChangesNothing()
    {
        QFETCH(QByteArray, key);
        QFETCH(QJsonValue, value);
        QJsonObject frame = mainShow();
        frame.insert(QString::fromLatin1(key), value);
        const QStringList before = ShowDigest::of(*m_store);
        QVERIFY(!ShowCopy::apply(frame, *m_store));
        QCOMPARE(ShowDigest::of(*m_store), before);
    }

    void slotsOutsideTheBoardAreLeftOut()
    {
        QJsonObject frame = mainShow();
        QJsonArray slots = frame.value(u"slots"_s).toArray();
        for (const int at : {-1, 360, 100000})
            slots.append(QJsonObject{{u"at"_s, at}, {u"title"_s, u"Stray"_s}});
        slots.append(QJsonObject{{u"at"_s, 5}, {u"title"_s, QString(100000, u'x')}});
        frame.insert(u"slots"_s, slots);
        QVERIFY(ShowCopy::apply(frame, *m_store));
        QCOMPARE(m_store->title(0, 0), u"Walk-in"_s);
        QVERIFY(m_store->title(0, 5).size() <= 4096);
    }
};

QTEST_GUILESS_MAIN(TestShowCopy)
#include "tst_showcopy.moc"
