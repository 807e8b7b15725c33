// SPDX-License-Identifier: GPL-3.0-or-later
// Press to sound: a simulated press on a sound button of the real main window (a full sheet,
// every song hot), timed from the press to its first sample at the null sink's monitor, with
// paplay of the same file measured alongside; then CPU with the window idle and while
// playing, and the peak memory. Runs offscreen; needs the test audio server.
#include "OnsetRecorder.h"
#include "app/frmMain.h"
#include "controls/Tranbtn.h"
#include "platform/HotCache.h"
#include "platform/IniRegistry.h"
#include "platform/MediaPlayerControl.h"
#include "platform/PulseAudioEngine.h"
#include "platform/QtDialogs.h"
#include "songs/SongStruc.h"

#include <QApplication>
#include <QMouseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/DriveList.h"
#include "platform/CdTrackCatalog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr int SongCount = 36;

bool writeWav(const QString& path, const std::vector<std::int16_t>& s)
{
    auto le = [](QByteArray& b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    QByteArray b("RIFF");
    le(b, static_cast<std::uint32_t>(36 + s.size() * 2), 4);
    b.append("WAVEfmt ");
    le(b, 16, 4);
    le(b, 1, 2);
    le(b, 2, 2);
    le(b, 44100, 4);
    le(b, 44100 * 4, 4);
    le(b, 4, 2);
    le(b, 16, 2);
    b.append("data");
    le(b, static_cast<std::uint32_t>(s.size() * 2), 4);
    b.append(reinterpret_cast<const char*>(s.data()), static_cast<qsizetype>(s.size() * 2));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}

/// A square wave: loud from its first sample.
std::vector<std::int16_t> square(double seconds, int period)
{
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    std::vector<std::int16_t> s(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = (i / static_cast<std::size_t>(period / 2)) % 2 ? -20000 : 20000;
    return s;
}

void spin(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/// Share of one core used over `msecs` of running the event loop.
double cpuPercent(int msecs)
{
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(msecs);
    return 100.0 * (cpuSeconds() - before) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void summarise(const char* name, std::vector<double> ms, int misses)
{
    if (ms.empty()) {
        std::printf("%-28s no onset heard in %d runs\n", name, misses);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(std::ceil(q * ms.size())) - 1)]; };
    std::printf("%-28s runs %2zu  median %6.2f ms  p95 %6.2f ms  min %6.2f  max %6.2f  missed %d\n", name, ms.size(),
                at(0.5), at(0.95), ms.front(), ms.back(), misses);
}

class NoCd : public CdTrackCatalog {
public:
    int trackCount() const override { return 0; }
};

class NoDrives : public DriveList {
public:
    QList<DriveInfo> drives() const override { return {}; }
    QString startDirectory() const override { return {}; }
};

/// A left-button press and release on the button, as the window system would deliver them.
void press(TMTranBtn* button)
{
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    QMouseEvent down(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(button, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(button, &up);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int cpuMs = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 10000;

    QTemporaryDir dir;
    const QString click = dir.filePath(QStringLiteral("click.wav"));
    writeWav(click, square(0.3, 100));
    QStringList hot{click};
    for (int i = 1; i < SongCount; ++i) {
        hot << dir.filePath(QStringLiteral("song%1.wav").arg(i, 2, 10, QLatin1Char('0')));
        writeWav(hot.last(), square(10.0, 40 + 2 * i));
    }

    PulseAudioEngine engine(QStringLiteral("sonavex-bench"));
    if (!engine.waitConnected(3000)) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return 1;
    }
    MediaPlayerControl player(engine);
    const long rssBefore = statusKb("VmRSS:");

    // The real main window with the 36 songs on its first sheet; the click is slot 0.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    IniRegistry registry(dir.filePath(QStringLiteral("config")));
    QtDialogs dialogs;
    NoCd cd;
    NoDrives drives;
    auto store = std::make_unique<TSongInfo>(registry, dialogs);
    for (int slot = 0; slot < SongCount; ++slot) {
        TSongRecord rec;
        InitSongRecord(rec);
        rec.Title.set(QStringLiteral("Song %1").arg(slot + 1));
        rec.FileName.set(hot.at(slot));
        rec.Slot = slot;
        store->SetSong(0, slot, rec);
    }
    QElapsedTimer warm;
    warm.start();
    TMainForm form(MainFormServices{registry, dialogs, player, cd, drives}, std::move(store));
    form.show();
    player.waitHotListWarm(60000);
    std::printf("hot list: %zu of %d songs warm in %lld ms, %.1f MiB of heads (budget %.0f MiB)\n",
                player.hotCache().count(), SongCount, static_cast<long long>(warm.elapsed()),
                static_cast<double>(player.hotCache().bytes()) / (1 << 20),
                static_cast<double>(player.hotCache().budget()) / (1 << 20));

    std::vector<double> ours;
    std::vector<double> reference;
    int oursMissed = 0;
    int referenceMissed = 0;
    {
        OnsetRecorder recorder;
        for (int run = 0; run < runs; ++run) {
            recorder.waitQuiet(100, 3000);
            recorder.arm();
            std::int64_t t0 = monotonicNs();
            press(form.SongButtons[0]);
            std::int64_t onset = recorder.waitOnset(2000);
            if (onset > 0)
                ours.push_back(static_cast<double>(onset - t0) / 1e6);
            else
                ++oursMissed;
            spin(350);
            form.mnuStopAllClick();

            recorder.waitQuiet(100, 3000);
            recorder.arm();
            const QByteArray file = click.toLocal8Bit();
            char* args[] = {const_cast<char*>("paplay"), const_cast<char*>(file.constData()), nullptr};
            pid_t pid = 0;
            t0 = monotonicNs();
            if (posix_spawnp(&pid, "paplay", nullptr, nullptr, args, environ) != 0) {
                std::fprintf(stderr, "cannot run paplay\n");
                break;
            }
            onset = recorder.waitOnset(2000);
            if (onset > 0)
                reference.push_back(static_cast<double>(onset - t0) / 1e6);
            else
                ++referenceMissed;
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }
    std::printf("request to first sample at nullsink.monitor (CLOCK_MONOTONIC):\n");
    summarise("  press on a hot slot", ours, oursMissed);
    summarise("  paplay, new process", reference, referenceMissed);

    form.mnuStopAllClick();
    spin(500);
    std::printf("CPU idle (window open, nothing playing, %d s): %.3f %% of a core\n", cpuMs / 1000,
                cpuPercent(cpuMs));
    press(form.SongButtons[1]);
    spin(200);
    std::printf("CPU playing a song (%d s):          %.3f %% of a core\n", std::min(cpuMs, 9000) / 1000,
                cpuPercent(std::min(cpuMs, 9000)));
    form.mnuStopAllClick();
    std::printf("memory: VmRSS before warming %ld KiB, peak VmHWM %ld KiB\n", rssBefore, statusKb("VmHWM:"));
    std::printf("dropouts (streams running dry before their end): %d\n", engine.underflowCount());
    return 0;
}
