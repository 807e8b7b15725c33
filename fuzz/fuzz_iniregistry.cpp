// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the settings file reader: it must never crash or leak,
// and every value it reads must come back unchanged after it is written again.
#include "platform/IniRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

const QString Key = QStringLiteral("\\Software\\Brasswold");

void readBackOrAbort(const QString& dir, const QString& section, const QString& name, const QString& value)
{
    IniRegistry fresh(dir);
    if (!fresh.OpenKey(Key + section, false) || fresh.ReadString(name) != value)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // In memory where there is such a folder: every write is synced, and that is not what is fuzzed.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/sonavex-fuzz-XXXXXX")
                                 : QDir::tempPath() + QLatin1String("/sonavex-fuzz-XXXXXX"));
    static const QString file = dir.path() + QLatin1String("/Brasswold.ini");
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    for (const QString& section : {QString(), QStringLiteral("\\Tabs"), QStringLiteral("\\System")}) {
        IniRegistry registry(dir.path());
        if (!registry.OpenKey(Key + section, false))
            continue;
        const QStringList names = registry.GetValueNames();
        for (const QString& name : names) {
            // A name read twice in one section reads as its last value; write that back.
            const QString value = registry.ReadString(name);
            registry.WriteString(name, value);
            registry.CloseKey(); // what one opening writes reaches the file when it closes
            readBackOrAbort(dir.path(), section, name, value);
            if (!registry.OpenKey(Key + section, false))
                std::abort();
        }
    }
    return 0;
}
