// SPDX-License-Identifier: GPL-3.0-or-later
// How a button plays, as the song file's companion keeps it, and the song times a record holds.
#include "fakes/FakeDialogs.h"
#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/ButtonSettings.h"
#include "songs/SongStruc.h"
#include "songs/SongTimes.h"

#include <QFile>
#include <QTest>

using Mode = ButtonSettings::Mode;
Q_DECLARE_METATYPE(ButtonSettings)
Q_DECLARE_METATYPE(OutputRoute)

class TestButtonSettings : public QObject, StoreFixture {
    Q_OBJECT

    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init() { setUpStore(false); }
    void cleanup() { tearDownStore(); }

    void keysAreReadWithTheDefaultForWhatCannotBe_data()
    {
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("loop");
        QTest::addColumn<ButtonSettings>("expected");
        QTest::newRow("none") << QString() << QString() << QString() << ButtonSettings{};
        QTest::newRow("all set") << "-6"
                                 << "toggle"
                                 << "yes" << buttonPlaying(-6.0, Mode::Toggle, true);
        QTest::newRow("tenths, dB, 1") << "-4.5 dB"
                                       << "HOLD"
                                       << "1" << buttonPlaying(-4.5, Mode::Hold, true);
        QTest::newRow("beyond the range") << "-90"
                                          << "restart"
                                          << "no" << buttonPlaying(-40.0, Mode::Restart, false);
        QTest::newRow("unreadable") << "loud"
                                    << "sometimes"
                                    << "maybe" << ButtonSettings{};
    }

    void keysAreReadWithTheDefaultForWhatCannotBe()
    {
        QFETCH(QString, volume);
        QFETCH(QString, mode);
        QFETCH(QString, loop);
        QFETCH(ButtonSettings, expected);
        SlotsFile::Keys keys{{QStringLiteral("future"), QStringLiteral("kept")}};
        if (!volume.isNull())
            keys.append({QStringLiteral("volume"), volume});
        if (!mode.isNull())
            keys.append({QStringLiteral("mode"), mode});
        if (!loop.isNull())
            keys.append({QStringLiteral("loop"), loop});
        QCOMPARE(ButtonSettings::fromKeys(keys), expected);
        // Written back, the defaults leave no key and the others' keys stay.
        expected.writeTo(keys);
        QCOMPARE(keys.first().first, QStringLiteral("future"));
        QCOMPARE(keys.size(),
                 1 + (expected.volumeDb != 0.0) + (expected.mode != Mode::Restart) + expected.loop);
        QCOMPARE(ButtonSettings::fromKeys(keys), expected);
    }

    void layerKeysAreReadWithTheDefaultForWhatCannotBe_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("written"); // empty: the default, not written
        QTest::addColumn<OutputRoute>("route");
        QTest::addColumn<double>("duck");
        const OutputRoute show;
        QTest::newRow("layer") << "layer"
                               << "yes"
                               << "yes" << show << 0.0;
        QTest::newRow("a device") << "output"
                                  << " alsa_output.usb-desk.analog-surround-71 "
                                  << "alsa_output.usb-desk.analog-surround-71"
                                  << OutputRoute{QStringLiteral("alsa_output.usb-desk.analog-surround-71")}
                                  << 0.0;
        QTest::newRow("preview") << "output"
                                 << "preview"
                                 << "preview" << OutputRoute{{}, true} << 0.0;
        QTest::newRow("a pair") << "channels"
                                << "5-6"
                                << "5-6" << OutputRoute{{}, false, 5, 2} << 0.0;
        QTest::newRow("one channel") << "channels"
                                     << "3"
                                     << "3" << OutputRoute{{}, false, 3, 1} << 0.0;
        QTest::newRow("not neighbours") << "channels"
                                        << "3-7"
                                        << "" << show << 0.0;
        QTest::newRow("channel 0") << "channels"
                                   << "0"
                                   << "" << show << 0.0;
        QTest::newRow("beyond the last") << "channels"
                                         << "32-33"
                                         << "" << show << 0.0;
        QTest::newRow("words") << "channels"
                               << "left"
                               << "" << show << 0.0;
        QTest::newRow("duck") << "duck"
                              << "12"
                              << "12" << show << 12.0;
        QTest::newRow("duck, dB, minus") << "duck"
                                         << "-9 dB"
                                         << "9" << show << 9.0;
        QTest::newRow("duck too deep") << "duck"
                                       << "90"
                                       << "30" << show << 30.0;
        QTest::newRow("duck too shallow") << "duck"
                                          << "1"
                                          << "3" << show << 3.0;
        QTest::newRow("duck unreadable") << "duck"
                                         << "lots"
                                         << "" << show << 0.0;
    }

    void layerKeysAreReadWithTheDefaultForWhatCannotBe()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, written);
        QFETCH(OutputRoute, route);
        QFETCH(double, duck);
        SlotsFile::Keys keys{{QStringLiteral("future"), QStringLiteral("kept")}, {key, value}};
        const ButtonSettings read = ButtonSettings::fromKeys(keys);
        QCOMPARE(read.route(), route);
        QCOMPARE(read.duckDb, duck);
        QCOMPARE(read.layer, key == QLatin1String("layer"));
        read.writeTo(keys);
        const SlotsFile::Keys expected =
            written.isEmpty()
                ? SlotsFile::Keys{{QStringLiteral("future"), QStringLiteral("kept")}}
                : SlotsFile::Keys{{QStringLiteral("future"), QStringLiteral("kept")}, {key, written}};
        QCOMPARE(keys, expected);
        QCOMPARE(ButtonSettings::fromKeys(keys), read);
    }

    void timesAreReadInTheirForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("seconds"); // -1: not read
        QTest::newRow("mm:ss") << "01:30" << 90.0;
        QTest::newRow("m:ss") << "2:05" << 125.0;
        QTest::newRow("ss") << "45" << 45.0;
        QTest::newRow("tenths") << "0:03.5" << 3.5;
        QTest::newRow("seconds with tenths") << "12.5" << 12.5;
        QTest::newRow("blank") << "  " << 0.0;
        QTest::newRow("editor default") << "00:00" << 0.0;
        QTest::newRow("seconds past 59") << "1:75" << -1.0;
        QTest::newRow("one digit seconds") << "1:5" << -1.0;
        QTest::newRow("letters") << "ab:cd" << -1.0;
        QTest::newRow("negative") << "-0:05" << -1.0;
    }

    void timesAreReadInTheirForms()
    {
        QFETCH(QString, text);
        QFETCH(double, seconds);
        const std::optional<double> read = SongTimes::parseTime(text);
        QCOMPARE(read.has_value(), seconds >= 0);
        if (read)
            QCOMPARE(*read, seconds);
    }

    void aRecordsTimesThatDoNotFitAreIgnoredAndNamed()
    {
        TSongRecord rec = makeSong(QStringLiteral("Trim"), 0, 0);
        rec.StartTime.set(QStringLiteral("00:10"));
        rec.StopTime.set(QStringLiteral("00:05")); // before the start
        rec.FadeStart.set(QStringLiteral("x"));
        rec.FadeDuration.set(QStringLiteral("3"));
        const SongTimes times = SongTimes::of(rec);
        QCOMPARE(times.start, 10.0);
        QCOMPARE(times.stop, 0.0);
        QCOMPARE(times.fadeStart, 0.0);
        QCOMPARE(times.unreadable, (QStringList{QStringLiteral("Fade Start"), QStringLiteral("Stop Time")}));
    }

    void settingsTravelWithTheirSlotAndLeaveWithIt()
    {
        const ButtonSettings loud = buttonPlaying(-4.5, Mode::Hold, true);
        {
            auto store = openStore();
            store->SetSong(1, 2, makeSong(QStringLiteral("Held"), 1, 2));
            store->SetSong(1, 3, makeSong(QStringLiteral("Plain"), 1, 3));
            store->setButtonSettings(1, 2, loud);
            store->setButtonSettings(1, 3, ButtonSettings{});
            store->setButtonSettings(1, 4, loud); // a free slot keeps nothing
            store->ExchangeSongs(1, 2, 6, 2);     // a sheet move carries them
        }
        const QByteArray companion = readAll(m_env->dataDir() + QStringLiteral("/songs.slots"));
        for (const char* line : {"[6,2]", "volume = -4.5", "mode = hold", "loop = yes"})
            QVERIFY2(companion.contains(line), line);
        QVERIFY(!companion.contains("[1,3]")); // defaults are not written
        auto store = openStore();
        QCOMPARE(store->buttonSettings(6, 2), loud);
        QCOMPARE(store->buttonSettings(1, 4), ButtonSettings{});
        store->ClearSong(6, 2);
        QCOMPARE(store->buttonSettings(6, 2), ButtonSettings{});
        store.reset();
        QVERIFY(!readAll(m_env->dataDir() + QStringLiteral("/songs.slots")).contains("mode = hold"));
    }
};

QTEST_GUILESS_MAIN(TestButtonSettings)
#include "tst_buttonsettings.moc"
