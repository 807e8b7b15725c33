// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeDialogs.h"
#include "fakes/SongFixtures.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnvironment.h"
#include "platform/AtomicFile.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

/// Its first write fails after `allowed` bytes, as a full disk would; later ones work.
class FailingWriter : public AtomicFileWriter {
public:
    explicit FailingWriter(qsizetype allowed)
        : m_allowed(allowed)
    {
    }

protected:
    bool writeAll(int fd, const char* data, qsizetype size) override
    {
        if (m_failed)
            return AtomicFileWriter::writeAll(fd, data, size);
        m_failed = true;
        const qsizetype n = std::min(size, m_allowed);
        if (n > 0 && ::write(fd, data, static_cast<size_t>(n)) != n)
            return false;
        errno = ENOSPC;
        return n == size;
    }

private:
    qsizetype m_allowed;
    bool m_failed = false;
};

/// Its first write of a song file's companion fails, as a full disk would; others work.
class CompanionFailingWriter : public AtomicFileWriter {
protected:
    bool writeAll(int fd, const char* data, qsizetype size) override
    {
        const bool companion = QByteArrayView(data, size).startsWith("# Sonavex");
        if (!companion || std::exchange(m_failed, true))
            return AtomicFileWriter::writeAll(fd, data, size);
        errno = ENOSPC;
        return false;
    }

private:
    bool m_failed = false;
};

/// Sleeps around each write and between the steps of a save, so that kills a millisecond apart
/// fall into each of its steps.
class SlowWriter : public AtomicFileWriter {
protected:
    bool writeAll(int fd, const char* data, qsizetype size) override
    {
        pause();
        const bool written = AtomicFileWriter::writeAll(fd, data, size);
        pause();
        return written;
    }
    void betweenSteps() override { pause(); }

private:
    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
};

bool run(const QString& program, const QStringList& args)
{
    return QProcess::execute(program, args) == 0;
}

} // namespace

class TestSongStruc : public QObject, StoreFixture {
    Q_OBJECT

    /// How many slots of the store hold a record.
    static int filledSlots(const TSongInfo& store)
    {
        TSongRecord rec;
        int filled = 0;
        for (int sheet = 0; sheet < SheetCount; ++sheet)
            for (int slot = 0; slot < SlotCount; ++slot)
                filled += store.GetSong(sheet, slot, rec) ? 1 : 0;
        return filled;
    }

    /// The rescue files under the default data folder.
    QStringList rescues() const
    {
        const QDir dir(m_env->dataDir() + QLatin1String("/Sonavex"));
        QStringList paths;
        for (const QString& name : dir.entryList({QStringLiteral("songs-rescued-*.inf")}, QDir::Files))
            paths << dir.filePath(name);
        return paths;
    }

    /// The one "Unable to save file!" box names the file and the reason, and where the songs went.
    void verifyRescued(const QString& failedFile, int records)
    {
        QCOMPARE(rescues().size(), 1);
        QCOMPARE(QFileInfo(rescues()[0]).size(), 416 * records);
        QCOMPARE(m_dialogs.messages.size(), 1);
        const QString text = m_dialogs.messages[0].text;
        QVERIFY2(text.startsWith(QLatin1String("Unable to save file!")), qPrintable(text));
        QVERIFY2(text.contains(failedFile) && text.contains(rescues()[0]), qPrintable(text));
        QCOMPARE(m_dialogs.messages[0].style, Dialogs::Style::Error);
    }

    void saveSeed(const QString& name, const QByteArray& data)
    {
        const QString dir = qEnvironmentVariable("SONAVEX_FUZZ_SEED_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QFile f(dir + QLatin1Char('/') + name);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
    }

private Q_SLOTS:
    void init() { setUpStore(false); }

    void cleanup() { tearDownStore(); }

    void defaultRecordHasTheDocumentedImage()
    {
        TSongRecord rec;
        std::memset(&rec, 0xAB, sizeof rec);
        InitSongRecord(rec);
        rec.Sheet = 2;
        rec.Slot = 7;
        const QByteArray b = bytesOf(rec);
        QCOMPARE(b.size(), 416);
        QCOMPARE(b.mid(0, 11), QByteArray("\x0A"
                                          "New Artist"));
        QCOMPARE(b.mid(41, 10), QByteArray("\x09"
                                           "New Album"));
        QCOMPARE(b.mid(82, 8), QByteArray("\x07"
                                          "<empty>"));
        QCOMPARE(b.at(123), '\0');
        for (int offset : {379, 386, 393, 400})
            QCOMPARE(b.mid(offset, 6), QByteArray("\x05"
                                                  "00:00"));
        QCOMPARE(b.mid(408, 4), QByteArray("\x02\x00\x00\x00", 4));
        QCOMPARE(b.mid(412, 4), QByteArray("\x07\x00\x00\x00", 4));
        saveSeed(QStringLiteral("default-2-7"), b);
    }

    void saveWritesOccupiedSlotsSheetBySheet()
    {
        {
            auto store = openStore();
            store->SetSong(3, 5, makeSong(QStringLiteral("Late"), 3, 5));
            store->SetSong(0, 35, makeSong(QStringLiteral("Early"), 0, 35));
        }
        const QByteArray file = readFile(m_infoPath);
        QCOMPARE(file.size(), 832);
        TSongRecord first;
        std::memcpy(&first, file.constData(), 416);
        QCOMPARE(first.Title.str(), QStringLiteral("Early"));
        QCOMPARE(int(first.Slot), 35);
        saveSeed(QStringLiteral("two-records"), file);
    }

    void foundSongsPlayFromWhereTheyAreAndKeepTheirStoredPaths()
    {
        // A show from the older system, whose song file names the songs where they were there.
        const QString folder = m_env->dataDir();
        const QString bell = folder + QLatin1String("/SFX/Bell.wav");
        const QString far = folder + QLatin1Char('/') + QString(200, QLatin1Char('x')) + QLatin1Char('/') +
                            QString(60, QLatin1Char('y')) +
                            QLatin1String(".wav"); // longer than a record holds
        writeFile(bell, "RIFF");
        writeFile(far, "RIFF");
        const QString storedFar = QLatin1String("C:\\") + QFileInfo(far).fileName();
        const QByteArray image =
            bytesOf(makeSong(QStringLiteral("Bell"), 1, 0, QStringLiteral("C:\\SHOW\\SFX\\BELL.WAV"))) +
            bytesOf(makeSong(QStringLiteral("Lost"), 1, 1, QStringLiteral("C:\\SHOW\\LOST.WAV"))) +
            bytesOf(makeSong(QStringLiteral("Far"), 1, 2, storedFar));
        writeFile(m_infoPath, image);
        {
            auto store = openStore();
            QCOMPARE(store->playPath(QStringLiteral("C:\\SHOW\\SFX\\BELL.WAV")), bell);
            QCOMPARE(store->playPath(QStringLiteral("C:\\SHOW\\LOST.WAV")),
                     QStringLiteral("C:\\SHOW\\LOST.WAV"));
            QCOMPARE(store->foundCount(1), 2);
        }
        QCOMPARE(readFile(m_infoPath), image);

        // A song of a moved show named in Cyrillic is found by its name in full.
        const QString bells = folder + QStringLiteral("/SFX/Колокола.wav");
        writeFile(bells, "RIFF");
        auto store = openStore();
        TSongRecord rec = makeSong(QString(), 1, 3);
        store->SetSong(1, 3, rec,
                       {QString(), QString(), QStringLiteral("Колокола"),
                        QStringLiteral("/old/disk/Шоу/SFX/Колокола.wav")});
        QCOMPARE(store->playPath(store->fileName(1, 3)), bells);
        QCOMPARE(store->foundCount(1), 3);
        store->useFoundPaths(1);
        QCOMPARE(store->fileName(1, 0), bell);
        QCOMPARE(store->fileName(1, 2), far); // the record holds what it can, its companion the rest
        QCOMPARE(store->fileName(1, 3), bells);
        QCOMPARE(store->title(1, 3), QStringLiteral("Колокола"));
        QVERIFY(store->GetSong(1, 2, rec));
        QCOMPARE(rec.FileName.str(), far.left(255));
        QCOMPARE(store->foundCount(1), 0);
        QVERIFY(m_dialogs.messages.isEmpty());
        store.reset();
        store = openStore();
        QCOMPARE(store->fileName(1, 2), far);
        QCOMPARE(store->fileName(1, 3), bells);
        QCOMPARE(store->notFoundNote(QStringLiteral("C:\\SHOW\\LOST.WAV")),
                 QString()); // the whole folder was read
    }

    void aSongBeyondTheSearchBoundSaysSo()
    {
        const QString folder = m_env->dataDir();
        for (int i = 0; i <= SongLocator::MaxFiles; ++i)
            writeFile(folder + QStringLiteral("/many/%1.wav").arg(i, 5, 10, QLatin1Char('0')), "");
        writeFile(m_infoPath,
                  bytesOf(makeSong(QStringLiteral("Lost"), 0, 0, QStringLiteral("C:\\SHOW\\LOST.WAV"))));
        auto store = openStore();
        QCOMPARE(store->notFoundNote(QStringLiteral("C:\\SHOW\\LOST.WAV")),
                 QStringLiteral(" (not found within the first 5,000 files of %1)").arg(folder));
    }

    void emptyStoreRoundTripsAnEmptyFile()
    {
        QVERIFY(!QFile::exists(m_infoPath));
        openStore().reset();
        QVERIFY(QFile::exists(m_infoPath));
        QCOMPARE(QFileInfo(m_infoPath).size(), 0);
        QVERIFY(!QFile::exists(slotsPath())); // nothing beyond the records, so no companion

        QCOMPARE(filledSlots(*openStore()), 0);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void loadPlacesRecordsByTheirOwnFieldsLaterWins()
    {
        const QByteArray data = bytesOf(makeSong(QStringLiteral("Last slot"), 9, 35)) +
                                bytesOf(makeSong(QStringLiteral("First"), 1, 2)) +
                                bytesOf(makeSong(QStringLiteral("Second"), 1, 2));
        writeFile(m_infoPath, data);
        saveSeed(QStringLiteral("any-order"), data);

        auto store = openStore();
        TSongRecord rec;
        QVERIFY(store->GetSong(9, 35, rec));
        QCOMPARE(rec.Title.str(), QStringLiteral("Last slot"));
        QVERIFY(store->GetSong(1, 2, rec));
        QCOMPARE(rec.Title.str(), QStringLiteral("Second"));
        QCOMPARE(filledSlots(*store), 2);
    }

    void freeSlotsAndAddressesOffTheBoardLeaveTheRecords()
    {
        auto store = openStore();
        TSongRecord rec = makeSong(QStringLiteral("Mine"), 4, 4);
        const QByteArray before = bytesOf(rec);
        QVERIFY(!store->GetSong(4, 4, rec));
        QCOMPARE(bytesOf(rec), before);

        TSongRecord expected;
        InitSongRecord(expected);
        QCOMPARE(bytesOf(store->GetSongOrDefault(4, 4)), bytesOf(expected));
        store->ClearSong(4, 4); // clearing a free slot does nothing
        QVERIFY(!store->GetSong(4, 4, rec));

        // Addresses outside the board raise and change nothing.
        store->SetSong(0, 0, makeSong(QStringLiteral("Keep"), 0, 0));
        rec = makeSong(QStringLiteral("Other"), 0, 0);
        QVERIFY_THROWS_EXCEPTION(RangeError, store->SetSong(10, 0, rec));
        QVERIFY_THROWS_EXCEPTION(RangeError, store->SetSong(0, -1, rec));
        QVERIFY_THROWS_EXCEPTION(RangeError, store->GetSong(-1, 0, rec));
        QVERIFY_THROWS_EXCEPTION(RangeError, store->ClearSong(0, 36));
        QVERIFY_THROWS_EXCEPTION(RangeError, (void)store->GetSongOrDefault(9, 36));
        QVERIFY_THROWS_EXCEPTION(RangeError, store->ExchangeSongs(0, 0, 10, 0));
        QVERIFY_THROWS_EXCEPTION(RangeError, store->ExchangeSongs(0, 36, 0, 0));
        QVERIFY(store->GetSong(0, 0, rec));
        QCOMPARE(rec.Title.str(), QStringLiteral("Keep"));
        QCOMPARE(int(rec.Sheet), 0);
    }

    void recordsStandAtTheirOwnAddressAcrossSaveAndLoad()
    {
        {
            auto store = openStore();
            store->SetSong(4, 4, makeSong(QStringLiteral("Misfiled"), 0, 0)); // its own fields win
            store->SetSong(2, 7, makeSong(QStringLiteral("Moving"), 2, 7));
            store->ExchangeSongs(2, 7, 5, 7);
            TSongRecord rec;
            QVERIFY(!store->GetSong(2, 7, rec));
            QVERIFY(store->GetSong(5, 7, rec));
            QCOMPARE(int(rec.Sheet), 5);
        }
        auto store = openStore();
        TSongRecord rec;
        QVERIFY(!store->GetSong(2, 7, rec));
        QVERIFY(store->GetSong(5, 7, rec));
        QCOMPARE(rec.Title.str(), QStringLiteral("Moving"));
        QVERIFY(!store->GetSong(4, 4, rec));
        QVERIFY(store->GetSong(0, 0, rec));
        QCOMPARE(rec.Title.str(), QStringLiteral("Misfiled"));
    }

    void longFieldsAndAnsiTextRoundTrip()
    {
        const QString longName = QLatin1String("/") + QString(254, QLatin1Char('x'));
        QCOMPARE(longName.size(), 255);
        const QString title = QStringLiteral("Caf\u00e9 \u20ac5 \u2013 na\u00efve");
        {
            auto store = openStore();
            TSongRecord rec = makeSong(title, 6, 1, longName + QLatin1String("overflow"));
            rec.StartTime.set(QStringLiteral("100:00"));
            rec.StopTime.set(QStringLiteral("0001:05"));
            store->SetSong(6, 1, rec);
        }
        auto store = openStore();
        TSongRecord rec;
        QVERIFY(store->GetSong(6, 1, rec));
        QCOMPARE(rec.FileName.str(), longName);
        QCOMPARE(rec.Title.str(), title);
        QCOMPARE(rec.StartTime.str(), QStringLiteral("100:00"));
        QCOMPARE(rec.StopTime.str(), QStringLiteral("0001:0"));
        // One byte per character on disk.
        QCOMPARE(int(rec.Title.length), title.size());
    }

    QString slotsPath() const { return SlotsFile::pathFor(m_infoPath); }

    QStringList filesIn(const QString& folder, const QString& pattern) const
    {
        return QDir(folder).entryList({pattern}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }

    void namesInAnyScriptSurviveARestart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("recordFile");
        QTest::newRow("Cyrillic") << QStringLiteral("Аплодисменты.wav") << QStringLiteral("Aplodismenty.wav");
        QTest::newRow("Greek") << QStringLiteral("Χειροκρότημα.wav") << QStringLiteral("Cheirokrotima.wav");
        QTest::newRow("CJK") << QStringLiteral("拍手.wav") << QStringLiteral("{62CD}{624B}.wav");
        QTest::newRow("Arabic") << QStringLiteral("تصفيق.wav") << QStringLiteral("tsfyq.wav");
        QTest::newRow("emoji") << QStringLiteral("🎉.wav") << QStringLiteral("{1F389}.wav");
    }

    void namesInAnyScriptSurviveARestart()
    {
        QFETCH(QString, name);
        QFETCH(QString, recordFile);
        const QString file = m_env->dataDir() + QStringLiteral("/Шоу/") + name;
        writeFile(file, "RIFF");
        const SongTexts texts{name, name, QFileInfo(name).completeBaseName(), file};
        const TSongRecord held = makeSong(QStringLiteral("Café"), 0, 0, QStringLiteral("/music/Café.wav"));
        {
            auto store = openStore();
            store->SetSong(0, 0, held);
            store->SetSong(4, 7, makeSong(QString(), 4, 7), texts);
            store->ExchangeSongs(4, 7, 5, 7); // entries go with their songs
        }
        // What a record holds stays byte for byte; the rest is a readable stand-in.
        const QByteArray file1 = readFile(m_infoPath);
        QCOMPARE(file1.left(416), bytesOf(held));
        TSongRecord rec;
        std::memcpy(&rec, file1.constData() + 416, 416);
        QCOMPARE(rec.FileName.str(), m_env->dataDir() + QStringLiteral("/Shou/") + recordFile);
        QVERIFY(!rec.Title.str().contains(QLatin1Char('?')));
        QCOMPARE(int(rec.Sheet), 5);

        auto store = openStore();
        QCOMPARE(store->texts(5, 7), texts);
        QCOMPARE(store->title(5, 7), texts.Title);
        QCOMPARE(store->playPath(store->fileName(5, 7)), file);
        QVERIFY(QFileInfo::exists(store->playPath(store->fileName(5, 7))));
        QCOMPARE(store->texts(0, 0).FileName, QStringLiteral("/music/Café.wav"));
        QVERIFY(m_dialogs.messages.isEmpty());

        // Cleared, it leaves no entry behind.
        store->ClearSong(5, 7);
        store.reset();
        QVERIFY(!readFile(slotsPath()).contains("[5,7]"));
        QVERIFY(!openStore()->texts(5, 7).FileName.contains(name));
    }

    void companionEntriesBelongToTheirRecords_data()
    {
        QTest::addColumn<QString>("recordTitle");
        QTest::addColumn<int>("recordSlot");
        QTest::addColumn<QByteArray>("companion");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("keptAs"); // what stands in the folder after the run
        const QByteArray entry = "[Sonavex]\nversion = 1\n\n[0,0]\nfile = /s/Аплодисменты.wav\n"
                                 "title = Аплодисменты\nrecord.file = /s/Aplodismenty.wav\n"
                                 "record.title = Aplodismenty\nvolume = -6\n";
        QTest::newRow("from an older run") << QStringLiteral("Aplodismenty") << 0 << entry
                                           << QStringLiteral("Аплодисменты") << QStringLiteral("songs.slots");
        // An entry that is not used is kept aside with its file, and said once.
        QTest::newRow("record retitled elsewhere")
            << QStringLiteral("Applause") << 0 << entry << QStringLiteral("Applause")
            << QStringLiteral("songs.slots.unused-*");
        QTest::newRow("record moved elsewhere")
            << QStringLiteral("Aplodismenty") << 1 << entry << QStringLiteral("Aplodismenty")
            << QStringLiteral("songs.slots.unused-*");
        QTest::newRow("written by hand, no record keys")
            << QStringLiteral("Aplodismenty") << 0
            << QByteArray("[Sonavex]\nversion = 1\n\n[0,0]\ntitle = Аплодисменты\nvolume = -6\n")
            << QStringLiteral("Aplodismenty") << QStringLiteral("songs.slots.unused-*");
        QTest::newRow("damaged") << QStringLiteral("Aplodismenty") << 0 << entry.left(40) + "\nnot a line\n"
                                 << QStringLiteral("Aplodismenty") << QStringLiteral("songs.slots.damaged-*");
        QTest::newRow("newer") << QStringLiteral("Aplodismenty") << 0
                               << QByteArray(entry).replace("version = 1", "version = 7")
                               << QStringLiteral("Aplodismenty") << QStringLiteral("songs.slots.saved-*");
    }

    void companionEntriesBelongToTheirRecords()
    {
        QFETCH(QString, recordTitle);
        QFETCH(int, recordSlot);
        QFETCH(QByteArray, companion);
        QFETCH(QString, title);
        QFETCH(QString, keptAs);
        writeFile(m_infoPath,
                  bytesOf(makeSong(recordTitle, 0, recordSlot, QStringLiteral("/s/Aplodismenty.wav"))));
        writeFile(slotsPath(), companion);
        {
            auto store = openStore();
            QCOMPARE(store->title(0, recordSlot), title);
            const bool belongs = title == QStringLiteral("Аплодисменты");
            QCOMPARE(store->fileName(0, recordSlot),
                     belongs ? QStringLiteral("/s/Аплодисменты.wav") : QStringLiteral("/s/Aplodismenty.wav"));
            const bool unused = keptAs.contains(QLatin1String("unused"));
            QCOMPARE(m_dialogs.messages.size(), keptAs.contains(QLatin1Char('-')) && !unused ? 1 : 0);
            QCOMPARE(
                store->unusedSlotsNote().startsWith(QLatin1String("1 of the 1 entries in ") + slotsPath()),
                unused);
            store->SetSong(2, 0, makeSong(QString(), 2, 0), {{}, {}, QStringLiteral("Тишина"), {}});
        }
        const QString folder = m_env->dataDir();
        QCOMPARE(filesIn(folder, keptAs).size(), 1);
        if (keptAs == QLatin1String("songs.slots.unused-*"))
            QCOMPARE(readFile(folder + QLatin1Char('/') + filesIn(folder, keptAs)[0]), companion);
        if (keptAs == QLatin1String("songs.slots.saved-*")) {
            QCOMPARE(readFile(slotsPath()), companion); // never replaced unread
            QCOMPARE(m_dialogs.messages.size(), 2);
            QVERIFY(
                m_dialogs.messages[1].text.contains(folder + QLatin1Char('/') + filesIn(folder, keptAs)[0]));
            return;
        }
        // The next run has this run's names, and the keys of an entry that still belongs.
        const QByteArray written = readFile(slotsPath());
        QCOMPARE(written.contains("volume = -6"), title == QStringLiteral("Аплодисменты"));
        QCOMPARE(openStore()->title(2, 0), QStringLiteral("Тишина"));
    }

    void companionFollowsTheRescueRules_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("song file cannot be written") << QStringLiteral("song file");
        QTest::newRow("companion cannot be written") << QStringLiteral("companion");
        QTest::newRow("companion cannot be read") << QStringLiteral("unreadable");
        QTest::newRow("drive does not answer") << QStringLiteral("hang");
    }

    void companionFollowsTheRescueRules()
    {
        QFETCH(QString, how);
        const QString rescueFolder = m_env->dataDir() + QLatin1String("/Sonavex");
        if (how == QLatin1String("unreadable"))
            QVERIFY(QDir().mkpath(slotsPath()));
        std::unique_ptr<AtomicFileWriter> writer = std::make_unique<AtomicFileWriter>();
        if (how == QLatin1String("song file"))
            writer = std::make_unique<FailingWriter>(0);
        else if (how == QLatin1String("companion"))
            writer = std::make_unique<CompanionFailingWriter>();
        {
            TSongInfo store(*m_registry, m_dialogs, std::move(writer));
            store.SetSong(0, 0, makeSong(QString(), 0, 0),
                          {{}, {}, QStringLiteral("Αντίο"), QStringLiteral("/s/Αντίο.wav")});
            if (how == QLatin1String("hang"))
                store.saveToRescueFile();
        }
        // The run's names are somewhere the last message names, and read as a companion.
        QVERIFY(!m_dialogs.messages.isEmpty());
        const QString text = m_dialogs.messages.last().text;
        QString saved;
        if (how == QLatin1String("unreadable")) {
            QVERIFY(QFileInfo(slotsPath()).isDir());
            const QStringList beside = filesIn(m_env->dataDir(), QStringLiteral("songs.slots.saved-*"));
            QCOMPARE(beside.size(), 1);
            saved = m_env->dataDir() + QLatin1Char('/') + beside[0];
        } else {
            const QStringList rescued = filesIn(rescueFolder, QStringLiteral("songs-rescued-*.slots"));
            QCOMPARE(rescued.size(), 1);
            saved = rescueFolder + QLatin1Char('/') + rescued[0];
            QVERIFY2(text.startsWith(QLatin1String("Unable to save file!")), qPrintable(text));
            QCOMPARE(QFileInfo::exists(SlotsFile::pathFor(m_infoPath)), false);
        }
        QVERIFY2(text.contains(saved), qPrintable(text));
        const SlotsFile::Parsed parsed = SlotsFile::parse(readFile(saved));
        QCOMPARE(parsed.entries.size(), 1);
        QVERIFY(parsed.entries[0].keys.contains({QStringLiteral("title"), QStringLiteral("Αντίο")}));
    }

    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<qsizetype>("allowed");
        QTest::newRow("nothing written") << qsizetype(0);
        QTest::newRow("fails part-way") << qsizetype(1000);
    }

    void failedSaveKeepsTheOldFile()
    {
        QFETCH(qsizetype, allowed);
        const QByteArray old = bytesOf(makeSong(QStringLiteral("Old"), 0, 0));
        writeFile(m_infoPath, old);
        {
            TSongInfo store(*m_registry, m_dialogs, std::make_unique<FailingWriter>(allowed));
            for (int slot = 0; slot < 10; ++slot)
                store.SetSong(1, slot, makeSong(QStringLiteral("New"), 1, slot));
        }
        QCOMPARE(readFile(m_infoPath), old);
        verifyRescued(m_infoPath, 11);
        QVERIFY(m_dialogs.messages[0].text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))));
        const QStringList leftovers =
            QDir(QFileInfo(m_infoPath).path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(leftovers, QStringList{QStringLiteral("songs.inf")});
    }

    void realFileSystemFailuresKeepTheOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("full file system") << QStringLiteral("full");
        QTest::newRow("read-only folder") << QStringLiteral("readonly");
    }

    void realFileSystemFailuresKeepTheOldFile()
    {
        QFETCH(QString, how);
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        QTemporaryDir mountPoint;
        if (!run(QStringLiteral("mount"),
                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                  QStringLiteral("size=16k"), QStringLiteral("tmpfs"), mountPoint.path()}))
            QSKIP("tmpfs cannot be mounted here");
        const auto unmount = qScopeGuard([&] { run(QStringLiteral("umount"), {mountPoint.path()}); });

        setInfoPath(mountPoint.path() + QLatin1String("/songs.inf"));
        const QByteArray old = bytesOf(makeSong(QStringLiteral("Old"), 0, 0)).repeated(1);
        writeFile(m_infoPath, old);
        if (how == QLatin1String("readonly"))
            QVERIFY(run(QStringLiteral("mount"),
                        {QStringLiteral("-o"), QStringLiteral("remount,ro"), mountPoint.path()}));
        {
            auto store = openStore();
            for (int sheet = 0; sheet < SheetCount; ++sheet)
                for (int slot = 0; slot < SlotCount; ++slot)
                    store->SetSong(sheet, slot, makeSong(QStringLiteral("Fill"), sheet, slot));
        }
        QCOMPARE(readFile(m_infoPath), old);
        verifyRescued(m_infoPath, SheetCount * SlotCount);
    }

    void unreadableInfoFileIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("folder in its place") << QStringLiteral("folder");
        QTest::newRow("socket in its place") << QStringLiteral("socket");
    }

    void unreadableInfoFileIsNeverReplaced()
    {
        // Both fail to open for root too, as a file without read permission does for a user.
        QFETCH(QString, what);
        if (what == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(m_infoPath));
        } else {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray name = QFile::encodeName(m_infoPath);
            QVERIFY(size_t(name.size()) < sizeof address.sun_path);
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ::close(fd);
        }
        const QFileInfo before(m_infoPath);
        {
            auto store = openStore();
            QCOMPARE(m_dialogs.messages.size(), 1);
            QVERIFY(m_dialogs.messages[0].text.contains(m_infoPath));
            store->SetSong(2, 3, makeSong(QStringLiteral("Tonight"), 2, 3));
        }
        const QFileInfo after(m_infoPath);
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(after.isFile(), false);
        const QStringList beside =
            QDir(QFileInfo(m_infoPath).path()).entryList({QStringLiteral("songs.inf.saved-*")});
        QCOMPARE(beside.size(), 1);
        const QString saved = QFileInfo(m_infoPath).path() + QLatin1Char('/') + beside[0];
        QCOMPARE(QFileInfo(saved).size(), 416);
        QCOMPARE(m_dialogs.messages.size(), 2);
        QVERIFY(m_dialogs.messages[1].text.contains(saved));
    }

    void symbolicLinkIsWrittenThroughAndStays_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("target there") << true;
        QTest::newRow("target not yet there") << false;
    }

    void symbolicLinkIsWrittenThroughAndStays()
    {
        QFETCH(bool, targetExists);
        const QString showDir = m_env->root() + QLatin1String("/show");
        QVERIFY(QDir().mkpath(showDir));
        const QString target = showDir + QLatin1String("/real.inf");
        if (targetExists)
            writeFile(target, bytesOf(makeSong(QStringLiteral("Old"), 0, 0)));
        QVERIFY(QFile::link(QStringLiteral("../show/real.inf"), m_infoPath));
        {
            auto store = openStore();
            TSongRecord rec;
            QCOMPARE(store->GetSong(0, 0, rec), targetExists);
            store->SetSong(1, 1, makeSong(QStringLiteral("New"), 1, 1));
        }
        QVERIFY(QFileInfo(m_infoPath).isSymLink());
        QCOMPARE(QFileInfo(target).size(), targetExists ? 832 : 416);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void missingRegisteredFolderIsReportedAndNeverMade_data()
    {
        QTest::addColumn<QString>("atExit");
        QTest::addColumn<bool>("changed");
        QTest::newRow("still missing") << QStringLiteral("missing") << true;
        QTest::newRow("back, empty") << QStringLiteral("empty") << true;
        QTest::newRow("back with a song file, songs changed") << QStringLiteral("file") << true;
        QTest::newRow("back with a song file, nothing changed") << QStringLiteral("file") << false;
    }

    void missingRegisteredFolderIsReportedAndNeverMade()
    {
        // The run never read a song file that came back with its drive: it is never replaced.
        QFETCH(QString, atExit);
        QFETCH(bool, changed);
        const QString gone = m_env->root() + QLatin1String("/unmounted/show");
        setInfoPath(gone + QLatin1String("/songs.inf"));
        const QByteArray theirs = bytesOf(makeSong(QStringLiteral("Theirs"), 4, 4)).repeated(3);
        {
            auto store = openStore();
            QCOMPARE(m_dialogs.messages.size(), 1);
            QVERIFY(m_dialogs.messages[0].text.contains(gone));
            if (changed)
                store->SetSong(0, 0, makeSong(QStringLiteral("Kept"), 0, 0));
            m_dialogs.messages.clear();
            if (atExit != QLatin1String("missing"))
                QVERIFY(QDir().mkpath(gone));
            if (atExit == QLatin1String("file"))
                writeFile(m_infoPath, theirs);
        }
        const QStringList beside = QDir(gone).entryList({QStringLiteral("songs.inf.saved-*")});
        if (atExit == QLatin1String("missing")) {
            QVERIFY(!QFileInfo::exists(m_env->root() + QLatin1String("/unmounted")));
            verifyRescued(m_infoPath, 1);
        } else if (atExit == QLatin1String("empty")) {
            QCOMPARE(QFileInfo(m_infoPath).size(), 416);
            QVERIFY(m_dialogs.messages.isEmpty());
        } else {
            QFile file(m_infoPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), theirs);
            QCOMPARE(beside.size(), changed ? 1 : 0);
            QCOMPARE(m_dialogs.messages.size(), changed ? 1 : 0);
            if (changed) {
                QCOMPARE(QFileInfo(gone + QLatin1Char('/') + beside[0]).size(), 416);
                QVERIFY2(m_dialogs.messages[0].text.contains(beside[0]),
                         qPrintable(m_dialogs.messages[0].text));
            }
        }
    }

    void abandonedTemporaryFilesAreRemovedAtStart()
    {
        // A temporary nobody holds was left by a killed save, however young; one a running
        // writer holds (locked) is another copy's save at work.
        const QDir dir(QFileInfo(m_infoPath).path());
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
        for (const char* name :
             {".songs.inf.aB3dE9", ".songs.inf.young1", ".songs.inf.notours", ".songs.slots.k1LLed"}) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (qstrcmp(name, ".songs.inf.aB3dE9") == 0 || qstrcmp(name, ".songs.inf.notours") == 0)
                QVERIFY(f.setFileTime(hourAgo, QFileDevice::FileModificationTime));
        }
        const int held =
            ::open(QFile::encodeName(dir.filePath(QStringLiteral(".songs.inf.young1"))), O_RDONLY);
        QCOMPARE(::flock(held, LOCK_EX), 0);
        const auto release = qScopeGuard([held] { ::close(held); });
        openStore().reset();
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral(".songs.inf.notours"), QStringLiteral(".songs.inf.young1"),
                              QStringLiteral("songs.inf")}));
    }

    void interruptedSaveIsCompletedOrDroppedAtStart_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("newPair");
        QTest::newRow("committed") << QStringLiteral("whole") << true;
        QTest::newRow("committed, song file renamed") << QStringLiteral("renamed") << true;
        QTest::newRow("commit cut short") << QStringLiteral("cut") << false;
        QTest::newRow("list naming other files") << QStringLiteral("foreign") << false;
        QTest::newRow("a save at work") << QStringLiteral("held") << false;
    }

    void interruptedSaveIsCompletedOrDroppedAtStart()
    {
        QFETCH(QString, how);
        QFETCH(bool, newPair);
        const auto savePair = [this](const QString& title) {
            openStore()->SetSong(0, 0, makeSong(QString(), 0, 0),
                                 {{}, {}, title, QStringLiteral("/s/a.wav")});
            return std::pair{readFile(m_infoPath), readFile(slotsPath())};
        };
        const auto [newInf, newSlots] = savePair(QStringLiteral("Новое"));
        const auto [oldInf, oldSlots] = savePair(QStringLiteral("Старое"));
        const QString dir = QFileInfo(m_infoPath).path();
        const QString infTemp = dir + QLatin1String("/.songs.inf.Ab12Cd");
        const QString slotsTemp = dir + QLatin1String("/.songs.slots.Ef34Gh");
        if (how == QLatin1String("renamed"))
            writeFile(m_infoPath, newInf);
        else
            writeFile(infTemp, newInf);
        writeFile(slotsTemp, newSlots);
        const QByteArray nul(1, '\0');
        const QString listed =
            how == QLatin1String("foreign") ? m_env->root() + QLatin1String("/x.inf") : m_infoPath;
        QByteArray list = "sonavex-commit 1" + nul + QFile::encodeName(infTemp) + nul +
                          QFile::encodeName(listed) + nul + QFile::encodeName(slotsTemp) + nul +
                          QFile::encodeName(slotsPath()) + nul;
        if (how != QLatin1String("cut"))
            list += "end" + nul;
        const QString listPath = dir + QLatin1String("/.songs.inf-commit");
        writeFile(listPath, list);
        std::vector<int> heldFiles;
        auto release = qScopeGuard([&heldFiles] {
            for (const int fd : heldFiles)
                ::close(fd);
        });
        if (how == QLatin1String("held"))
            for (const QString& path : {listPath, infTemp, slotsTemp}) {
                heldFiles.push_back(::open(QFile::encodeName(path), O_RDONLY));
                QCOMPARE(::flock(heldFiles.back(), LOCK_EX), 0);
            }

        auto store = openStore();
        QCOMPARE(store->title(0, 0), newPair ? QStringLiteral("Новое") : QStringLiteral("Старое"));
        QCOMPARE(readFile(slotsPath()), newPair ? newSlots : oldSlots);
        QStringList left = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        QStringList expected{QStringLiteral("songs.inf"), QStringLiteral("songs.slots")};
        if (how == QLatin1String("held"))
            expected = QStringList{QStringLiteral(".songs.inf-commit"), QStringLiteral(".songs.inf.Ab12Cd"),
                                   QStringLiteral(".songs.slots.Ef34Gh")} +
                       expected;
        QCOMPARE(left, expected);
        QVERIFY(m_dialogs.messages.isEmpty());
        release.dismiss();
        for (const int fd : heldFiles)
            ::close(fd); // the save at work is gone: this run's save completes it, then replaces it
    }

    void aSaveKilledAtAnyMomentLeavesOnePairOrTheOther()
    {
        // On a memory file system, so that the sweep is quick; the writer sleeps between its steps.
        QTemporaryDir memory(QStringLiteral("/dev/shm/sonavex-XXXXXX"));
        if (memory.isValid())
            setInfoPath(memory.path() + QLatin1String("/songs.inf"));
        const QString dir = QFileInfo(m_infoPath).path();
        // Names no record can hold, all retitled in the run that is killed.
        const auto title = [](int slot, const QString& run) {
            return QStringLiteral("Песня %1, %2 версия").arg(slot).arg(run);
        };
        const QString oldRun = QStringLiteral("старая");
        const QString newRun = QStringLiteral("новая");
        {
            auto store = openStore();
            for (int slot = 0; slot < SlotCount; ++slot)
                store->SetSong(0, slot, makeSong(QString(), 0, slot),
                               {{}, {}, title(slot, oldRun), QStringLiteral("/s/%1.wav").arg(slot)});
        }
        const QByteArray oldInf = readFile(m_infoPath);
        const QByteArray oldSlots = readFile(slotsPath());

        int oldPairs = 0;
        int newPairs = 0;
        for (int ms = 0; ms < 1000; ++ms) {
            writeFile(m_infoPath, oldInf);
            writeFile(slotsPath(), oldSlots);
            int ready[2];
            QCOMPARE(::pipe(ready), 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                ::close(ready[0]);
                {
                    TSongInfo store(*m_registry, m_dialogs, std::make_unique<SlowWriter>());
                    for (int slot = 0; slot < SlotCount; ++slot)
                        store.SetSong(0, slot, makeSong(QString(), 0, slot),
                                      {{}, {}, title(slot, newRun), QStringLiteral("/s/%1.wav").arg(slot)});
                    (void)!::write(ready[1], "s", 1); // the save starts as the store ends
                }
                ::_exit(0);
            }
            ::close(ready[1]);
            char started = 0;
            const bool began = ::read(ready[0], &started, 1) == 1;
            ::close(ready[0]);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            QVERIFY(began);

            // The next start finds every name of one run or of the other, and nothing stray.
            auto store = openStore();
            const bool isNew = store->title(0, 0) == title(0, newRun);
            for (int slot = 0; slot < SlotCount; ++slot)
                QCOMPARE(store->title(0, slot), title(slot, isNew ? newRun : oldRun));
            QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{QStringLiteral("songs.inf"), QStringLiteral("songs.slots")}));
            QVERIFY(m_dialogs.messages.isEmpty());
            ++(isNew ? newPairs : oldPairs);
            if (WIFEXITED(status))
                break; // the save was done before the kill
        }
        QVERIFY(oldPairs > 5);
        QVERIFY(newPairs > 0);
    }

    void damagedFilesLoadEveryGoodRecord_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("goodRecords");
        const QByteArray a = bytesOf(makeSong(QStringLiteral("A"), 0, 1));
        const QByteArray b = bytesOf(makeSong(QStringLiteral("B"), 3, 4));
        const QByteArray badSheet = bytesOf(makeSong(QStringLiteral("X"), 10, 0));
        const QByteArray badSlot = bytesOf(makeSong(QStringLiteral("Y"), 0, -1));
        QTest::newRow("short tail") << (a + b + b.left(100)) << 2;
        QTest::newRow("record out of range") << (a + badSheet + b) << 2;
        QTest::newRow("a mix") << (badSlot + a + badSheet + b + QByteArray(7, 'z')) << 2;
        QTest::newRow("only a fragment") << QByteArray(415, '\xff') << 0;
    }

    void damagedFilesLoadEveryGoodRecord()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, goodRecords);
        writeFile(m_infoPath, data);
        saveSeed(QStringLiteral("damaged-") +
                     QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')),
                 data);

        auto store = openStore();
        QCOMPARE(filledSlots(*store), goodRecords);

        QVERIFY(!store->damagedCopy().isEmpty());
        QCOMPARE(readFile(store->damagedCopy()), data);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages[0].text.contains(store->damagedCopy()));

        // The next save writes only the good records; the copy stays.
        const QString copy = store->damagedCopy();
        store.reset();
        QCOMPARE(QFileInfo(m_infoPath).size(), 416 * goodRecords);
        QCOMPARE(readFile(copy), data);
    }
};

QTEST_GUILESS_MAIN(TestSongStruc)
#include "tst_songstruc.moc"
