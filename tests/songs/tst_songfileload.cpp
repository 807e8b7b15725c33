// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeDialogs.h"
#include "fakes/HangingDrive.h"
#include "fakes/SongFixtures.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/SongFileLoad.h"
#include "songs/SongStruc.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

class TestSongFileLoad : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void songsComeInWhenTheDriveAnswers_data()
    {
        QTest::addColumn<bool>("hangs");
        QTest::newRow("drive answers") << false;
        QTest::newRow("drive hangs, then answers") << true;
    }

    void songsComeInWhenTheDriveAnswers()
    {
        QFETCH(bool, hangs);
        TestEnvironment env;
        HangingDrive drive;
        if (!drive.usable())
            QSKIP("needs bindfs and /dev/fuse");
        QFile file(drive.backing() + QLatin1String("/songs.inf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytesOf(makeSong(QStringLiteral("Overture"), 0, 0)) +
                   bytesOf(makeSong(QStringLiteral("Finale"), 2, 5)));
        file.close();
        IniRegistry registry(env.configDir());
        registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        registry.WriteString(QStringLiteral("InfoPath"), drive.mountPoint() + QLatin1String("/songs.inf"));
        registry.CloseKey();
        FakeDialogs dialogs;

        if (hangs)
            drive.hang();
        // Should the store or the loader wait on the drive, the drive answers after a while and
        // the test fails instead of hanging.
        std::atomic<bool> over{false};
        std::thread rescue;
        if (hangs)
            rescue = std::thread([&drive, &over] {
                for (int i = 0; i < 80 && !over; ++i)
                    std::this_thread::sleep_for(50ms);
                drive.answer();
            });
        // A failed check leaves the test here: the drive must answer and be unmounted all the same.
        const auto release = qScopeGuard([&] {
            over = true;
            if (rescue.joinable())
                rescue.join();
        });
        TSongInfo store(registry, dialogs, TSongInfo::Load::Later);
        SongFileLoad load(store, nullptr, 300ms);
        QSignalSpy slow(&load, &SongFileLoad::slow);
        QSignalSpy loaded(&load, &SongFileLoad::loaded);
        load.start();
        if (hangs) {
            QVERIFY(slow.wait(2000));
            QVERIFY(loaded.isEmpty());
            TSongRecord rec;
            QVERIFY(!store.GetSong(0, 0, rec));
            // The operator fills a slot meanwhile: it keeps the operator's song.
            store.SetSong(2, 5, makeSong(QStringLiteral("Encore"), 2, 5));
            drive.answer();
        }
        QVERIFY(loaded.wait(5000));
        QCOMPARE(slow.isEmpty(), !hangs);
        QCOMPARE(loaded[0][0].toString(), QString());
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(store.fileTaken());
        QCOMPARE(store.GetSongOrDefault(0, 0).Title.str(), QStringLiteral("Overture"));
        QCOMPARE(store.GetSongOrDefault(2, 5).Title.str(),
                 hangs ? QStringLiteral("Encore") : QStringLiteral("Finale"));
    }
};

QTEST_GUILESS_MAIN(TestSongFileLoad)
#include "tst_songfileload.moc"
