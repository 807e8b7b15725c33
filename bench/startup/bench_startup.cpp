// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time: from starting the process to the main window's first paint, with
// all 360 slots filled. Prints the median and the spread of 10 runs.
// Uses the display in $DISPLAY when there is one, else the offscreen platform.
#include "platform/Dialogs.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {
class NoDialogs : public Dialogs {
public:
    Answer messageBox(QWidget*, const QString&, Style, Buttons) override { return Answer::Ok; }
    QString inputBox(QWidget*, const QString&, const QString&, const QString& initial) override { return initial; }
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
};
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    const QString config = home.path() + QLatin1String("/config");
    const QString data = home.path() + QLatin1String("/data");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_DATA_HOME", data.toUtf8());
    {
        IniRegistry registry(config);
        NoDialogs dialogs;
        TSongInfo store(registry, dialogs);
        for (int sheet = 0; sheet < SheetCount; ++sheet) {
            for (int slot = 0; slot < SlotCount; ++slot) {
                TSongRecord rec;
                InitSongRecord(rec);
                rec.Title.set(QStringLiteral("Song %1 of sheet %2").arg(slot + 1).arg(sheet + 1));
                rec.FileName.set(QStringLiteral("/nonexistent/song-%1-%2.wav").arg(sheet).arg(slot));
                rec.Sheet = sheet;
                rec.Slot = slot;
                store.SetSong(sheet, slot, rec);
            }
        }
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SONAVEX_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QList<double> times;
    for (int run = 0; run < 11; ++run) {
        QProcess p;
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(QStringLiteral(SONAVEX_BINARY), {});
        double shownAt = -1;
        while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0) {
            if (p.waitForReadyRead(5000) || p.canReadLine()) {
                if (p.readAll().contains("shown") && shownAt < 0)
                    shownAt = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            }
            if (shownAt >= 0 || clock.elapsed() > 20000)
                break;
        }
        p.waitForFinished(10000);
        if (shownAt < 0) {
            std::fprintf(stderr, "run %d: the window never showed\n", run);
            return 1;
        }
        if (run > 0) // the first run warms the file cache
            times << shownAt;
    }
    std::sort(times.begin(), times.end());
    const double median = (times[4] + times[5]) / 2;
    std::printf("startup to main window shown, 360 slots filled (%s): median %.1f ms, min %.1f ms, max %.1f ms "
                "over %lld runs (target < 250 ms)\n",
                env.contains(QStringLiteral("DISPLAY")) ? "X display" : "offscreen", median, times.first(),
                times.last(), static_cast<long long>(times.size()));
    return 0;
}
