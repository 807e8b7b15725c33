// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the info file loader: it must never crash, leak or
// keep a record outside the ten sheets of 36 slots.
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

class SilentDialogs : public Dialogs {
public:
    Answer messageBox(QWidget*, const QString&, Style, Buttons) override { return Answer::Ok; }
    QString inputBox(QWidget*, const QString&, const QString&, const QString& initial) override
    {
        return initial;
    }
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
};

/// Saving is not what is fuzzed; keep the loader's input file as it is.
class NoWriter : public AtomicFileWriter {
public:
    bool replace(const QString&, const QByteArray&) override { return true; }
};

struct Fixture {
    QTemporaryDir dir;
    QString infoPath;
    IniRegistry registry{dir.path()};

    Fixture()
    {
        infoPath = dir.path() + QLatin1String("/songs.inf");
        registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
        registry.WriteString(QStringLiteral("InfoPath"), infoPath);
        registry.CloseKey();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Fixture fixture;
    static SilentDialogs dialogs;
    {
        QFile f(fixture.infoPath);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    {
        TSongInfo store(fixture.registry, dialogs, std::make_unique<NoWriter>());
        for (int sheet = 0; sheet < SheetCount; ++sheet) {
            for (int slot = 0; slot < SlotCount; ++slot) {
                TSongRecord rec;
                if (!store.GetSong(sheet, slot, rec))
                    continue;
                if (rec.Sheet != sheet || rec.Slot != slot)
                    std::abort();
                (void)rec.Title.str();
                (void)rec.FileName.str();
            }
        }
    }
    // Damaged inputs leave a kept copy beside the file; clear them out.
    const QDir dir(fixture.dir.path());
    for (const QString& name : dir.entryList({QStringLiteral("songs.inf.damaged-*")}, QDir::Files))
        QFile::remove(dir.filePath(name));
    return 0;
}
