// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time: from starting the process to the X server's report that the main window is
// mapped, with all 360 slots filled. The program runs on an X server of the benchmark's own
// (Xvfb, no window manager), which is watched from outside: the program carries nothing for
// the benchmark. Each run ends the way a logout does (SIGTERM). In turns with the board, a bare
// Qt main window of its size is started the same way: what any Qt program pays to show a window.
// Prints the median and the spread of 30 runs of each, and their ratio: a single start varies by
// a quarter or more from the next on a machine of two cores.
// Usage: bench_startup [program]   (another build of sonavex, to compare)
#include "PrivateDisplay.h"
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
    QString inputBox(QWidget*, const QString&, const QString&, const QString& initial) override
    {
        return initial;
    }
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
};

using namespace bench;

const QByteArray MainWindowTitle = QByteArrayLiteral("Sonavex");
const QByteArray BareWindowTitle = QByteArrayLiteral("Bare window");
constexpr int Runs = 30;

/// Milliseconds from starting `program` to its window titled `title` mapped; negative when it
/// never was. Each run ends the way a logout does (SIGTERM).
double timeToMapped(const QString& program, const QByteArray& title, const QProcessEnvironment& env,
                    MapWatcher& watcher)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(program, {});
    const bool shown = p.waitForStarted(5000) && watcher.waitForMapped(title, 20000, p) != XCB_NONE;
    const double shownAt = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    p.terminate(); // ends the show as a logout does
    if (!p.waitForFinished(10000))
        p.kill();
    p.waitForFinished(5000);
    return shown ? shownAt : -1;
}

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    const auto n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

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

    PrivateDisplay display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    MapWatcher watcher(display.name());
    if (!watcher.ok()) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(display.name()));
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SONAVEX_BINARY);
    const QString bare = QStringLiteral(BARE_WINDOW_BINARY);
    QList<double> board, bareTimes;
    // In turns, so that both see the same machine; the first of each warms the file cache.
    for (int run = 0; run <= Runs; ++run) {
        const double b = timeToMapped(program, MainWindowTitle, env, watcher);
        const double q = timeToMapped(bare, BareWindowTitle, env, watcher);
        if (b < 0 || q < 0) {
            std::fprintf(stderr, "run %d: the %s window was never mapped\n", run, b < 0 ? "main" : "bare");
            return 1;
        }
        if (run > 0) {
            board << b;
            bareTimes << q;
        }
    }
    std::sort(board.begin(), board.end());
    std::sort(bareTimes.begin(), bareTimes.end());
    std::printf("startup to main window mapped, 360 slots filled (Xvfb): median %.1f ms, min %.1f ms, "
                "max %.1f ms over %lld runs (target < 250 ms)\n",
                median(board), board.first(), board.last(), static_cast<long long>(board.size()));
    std::printf("bare Qt main window of the same size, in turns with it:  median %.1f ms, min %.1f ms, "
                "max %.1f ms\n",
                median(bareTimes), bareTimes.first(), bareTimes.last());
    std::printf("board / bare, medians: %.2f\n", median(board) / median(bareTimes));
    return 0;
}
