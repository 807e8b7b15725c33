// SPDX-License-Identifier: GPL-3.0-or-later
// Press to sound: a press on a sound button of the real main window (a full sheet, every song
// hot), from the moment it is queued for the window's thread to the first sample of the song at
// the null sink's monitor, with paplay of the same file measured alongside; timestamps along
// the way show where the time goes. Once on an idle machine and once with busy programs on
// every core (started and stopped here), with the dropouts of each. Then CPU with the window
// idle and while playing, and the peak memory. Runs offscreen; needs the test audio server.
// With --even-levels the board plays at even levels, its songs unmeasured at the start: they are
// measured at idle priority while the presses are made.
#include "BenchSupport.h"
#include "BusyLoad.h"
#include "OnsetRecorder.h"
#include "app/frmMain.h"
#include "audio/AudioOutput.h"
#include "audio/HotCache.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "audio/SongLevels.h"
#include "controls/Tranbtn.h"
#include "platform/Application.h"
#include "platform/IniRegistry.h"
#include "platform/QtDialogs.h"
#include "platform/Realtime.h"
#include "songs/SongStruc.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace bench;

constexpr int SongCount = 36;

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
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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

/// The stages of one press, CLOCK_MONOTONIC; 0 until reached.
struct Marks {
    std::atomic<std::int64_t> received{0}; // the press reached the button on the window's thread
    std::atomic<std::int64_t> starting{0}; // the player asked the engine for the stream
    std::atomic<std::int64_t> started{0};  // the stream was written and uncorked
    void reset()
    {
        received = 0;
        starting = 0;
        started = 0;
    }
};

/// The engine as the player sees it, noting when a start is asked for and when it is done.
class TimedOutput : public AudioOutput {
public:
    TimedOutput(AudioOutput& engine, Marks& marks)
        : m_engine(engine)
        , m_marks(marks)
    {
    }
    std::unique_ptr<OutputStream> start(std::shared_ptr<PcmSource> source) override
    {
        return startWithGain(std::move(source), 1.0);
    }
    std::unique_ptr<OutputStream> startWithGain(std::shared_ptr<PcmSource> source, double gain) override
    {
        std::int64_t none = 0;
        m_marks.starting.compare_exchange_strong(none, monotonicNs());
        auto stream = m_engine.startWithGain(std::move(source), gain);
        none = 0;
        m_marks.started.compare_exchange_strong(none, monotonicNs());
        return stream;
    }

private:
    AudioOutput& m_engine;
    Marks& m_marks;
};

/// Notes when a press reaches the button.
class PressProbe : public QObject {
public:
    explicit PressProbe(Marks& marks)
        : m_marks(marks)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            std::int64_t none = 0;
            m_marks.received.compare_exchange_strong(none, monotonicNs());
        }
        return false;
    }

private:
    Marks& m_marks;
};

struct ModeResult {
    Series received, starting, started, heard, paplay;
    int pressDropouts = 0;
    int songDropouts = 0;
    double loadAverage = 0;
};

void onWindowThread(QObject* context, const std::function<void()>& f)
{
    QMetaObject::invokeMethod(context, f, Qt::BlockingQueuedConnection);
}

double loadAverage()
{
    double avg[1] = {0};
    getloadavg(avg, 1);
    return avg[0];
}

ModeResult measure(TMainForm& form, const PulseAudioEngine& engine, OnsetRecorder& recorder, Marks& marks,
                   const QString& click, int runs, int songSeconds)
{
    ModeResult r;
    const int before = engine.underflowCount();
    driveFromAnotherThread([&] {
        for (int run = 0; run < runs; ++run) {
            recorder.waitQuiet(100, 3000);
            marks.reset();
            recorder.arm();
            const std::int64_t t0 = monotonicNs();
            postPress(form.SongButtons[0]);
            const std::int64_t onset = recorder.waitOnset(2000);
            // The sound may be heard before the start returns: read the marks once it has.
            std::this_thread::sleep_for(std::chrono::milliseconds(350));
            r.received.add(t0, marks.received);
            r.starting.add(t0, marks.starting);
            r.started.add(t0, marks.started);
            r.heard.add(t0, onset);
            onWindowThread(&form, [&form] { form.mnuStopAllClick(); });

            recorder.waitQuiet(100, 3000);
            recorder.arm();
            const QByteArray file = click.toLocal8Bit();
            char* args[] = {const_cast<char*>("paplay"), const_cast<char*>(file.constData()), nullptr};
            pid_t pid = 0;
            const std::int64_t p0 = monotonicNs();
            if (posix_spawnp(&pid, "paplay", nullptr, nullptr, args, environ) != 0) {
                std::fprintf(stderr, "cannot run paplay\n");
                break;
            }
            r.paplay.add(p0, recorder.waitOnset(2000));
            waitpid(pid, nullptr, 0);
        }
        r.pressDropouts = engine.underflowCount() - before;
        r.loadAverage = loadAverage();

        // A long song right through, as in a show.
        const int beforeSong = engine.underflowCount();
        postPress(form.SongButtons[1]);
        std::this_thread::sleep_for(std::chrono::seconds(songSeconds));
        r.songDropouts = engine.underflowCount() - beforeSong;
        onWindowThread(&form, [&form] { form.mnuStopAllClick(); });
    });
    return r;
}

void row(const char* what, const Series& idle, const Series& loaded)
{
    const auto cell = [](const Series& s) {
        char buf[64];
        if (s.ms.empty())
            std::snprintf(buf, sizeof buf, "%18s", "none");
        else
            std::snprintf(buf, sizeof buf, "%7.2f %7.2f %2d", s.at(0.5), s.at(0.95), s.missed);
        return std::string(buf);
    };
    std::printf("  %-36s %s   %s\n", what, cell(idle).c_str(), cell(loaded).c_str());
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SonavexApplication app(argc, argv);
    QPointingDevice::primaryPointingDevice(); // made here, not on the thread that posts the presses
    QStringList args = QCoreApplication::arguments();
    const bool evenLevels = args.removeAll(QStringLiteral("--even-levels")) > 0;
    argc = static_cast<int>(args.size());
    std::vector<QByteArray> argBytes;
    for (const QString& a : args)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char*> argPointers;
    for (QByteArray& a : argBytes)
        argPointers.push_back(a.data());
    argv = argPointers.data();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int songSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int cpuMs = argc > 3 ? std::max(1000, std::atoi(argv[3])) : 10000;
    const int cores = static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));

    QTemporaryDir dir;
    const QString click = dir.filePath(QStringLiteral("click.wav"));
    writeWav(click, square(0.3, 100));
    QStringList hot{click};
    for (int i = 1; i < SongCount; ++i) {
        hot << dir.filePath(QStringLiteral("song%1.wav").arg(i, 2, 10, QLatin1Char('0')));
        writeWav(hot.last(), square(i == 1 ? songSeconds + 2.0 : 10.0, 40 + 2 * i));
    }

    PulseAudioEngine engine(QStringLiteral("sonavex-bench"));
    if (!engine.waitConnected(3000)) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return 1;
    }
    Marks marks;
    TimedOutput output(engine, marks);
    MediaPlayerControl player(output);
    SongLevels levels(dir.filePath(QStringLiteral("levels.json")));
    player.setLevels(&levels);
    const long rssBefore = statusKb("VmRSS:");

    // The real main window with the 36 songs on its first sheet; the click is slot 0.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    IniRegistry registry(dir.filePath(QStringLiteral("config")));
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
    registry.WriteString(QStringLiteral("EvenLevels"),
                         evenLevels ? QStringLiteral("1") : QStringLiteral("0"));
    registry.CloseKey();
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
    ShowCore show(ShowServices{registry, player, cd, nullptr, &levels}, std::move(store));
    TMainForm form(show, dialogs, drives);
    form.show();
    PressProbe probe(marks);
    form.SongButtons[0]->installEventFilter(&probe);
    player.waitHotListWarm(60000);
    std::printf("hot list: %zu of %d songs warm in %lld ms, %.1f MiB of heads (budget %.0f MiB)\n",
                player.hotCache().count(), SongCount, static_cast<long long>(warm.elapsed()),
                static_cast<double>(player.hotCache().bytes()) / (1 << 20),
                static_cast<double>(player.hotCache().budget()) / (1 << 20));
    std::printf("even levels: %s, %zu songs measured when the presses begin\n", evenLevels ? "on" : "off",
                levels.measuredCount());
    const QString priority = Realtime::statusLine();
    std::printf("scheduling: %s; interface thread at nice %d\n",
                priority.isEmpty() ? "audio threads real-time" : qPrintable(priority),
                getpriority(PRIO_PROCESS, static_cast<id_t>(Realtime::currentThread())));

    OnsetRecorder recorder;
    const ModeResult idle = measure(form, engine, recorder, marks, click, runs, songSeconds);
    ModeResult loaded;
    {
        BusyLoad load(2 * cores);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        loaded = measure(form, engine, recorder, marks, click, runs, songSeconds);
    }

    std::printf("\nWhat is measured: CLOCK_MONOTONIC from the moment a left-button press is queued for the\n"
                "window's thread (as the window system delivers one) to the moment the first loud sample of\n"
                "the song reaches a reader of the null sink's monitor (2 ms fragments, %s).\n"
                "It includes the server's mixing and the monitor's delivery and is never back-dated, so it\n"
                "is an upper bound on the press to the first sample at the server. paplay is timed the same\n"
                "way from its spawn. Loaded: %d busy programs at normal priority on %d cores, started and\n"
                "stopped here. Columns: median, p95 (ms), runs missed; %d runs each.\n\n",
                recorder.realtime() ? "reader real-time"
                                    : "reader at normal priority: a busy machine delays it",
                2 * cores, cores, runs);
    std::printf("  %-36s %18s   %18s\n", "", "idle", "loaded");
    std::printf("  %-36s %7s %7s %2s   %7s %7s %2s\n", "from the press queued to", "median", "p95", "",
                "median", "p95", "");
    row("the press received by the button", idle.received, loaded.received);
    row("the engine asked for the stream", idle.starting, loaded.starting);
    row("the stream uncorked with data", idle.started, loaded.started);
    row("the first sample at the reader", idle.heard, loaded.heard);
    row("paplay: spawn to first sample", idle.paplay, loaded.paplay);
    std::printf("  %-36s %18d   %18d\n", "dropouts during the presses", idle.pressDropouts,
                loaded.pressDropouts);
    std::printf("  %-36s %18d   %18d\n",
                qPrintable(QStringLiteral("dropouts in a %1 s song").arg(songSeconds)), idle.songDropouts,
                loaded.songDropouts);
    std::printf("  %-36s %18.2f   %18.2f\n\n", "load average (1 min) at the end", idle.loadAverage,
                loaded.loadAverage);

    spin(500);
    std::printf("CPU idle (window open, nothing playing, %d s): %.3f %% of a core\n", cpuMs / 1000,
                cpuPercent(cpuMs));
    postPress(form.SongButtons[1]);
    spin(200);
    std::printf("CPU playing a song (%d s):          %.3f %% of a core\n", std::min(cpuMs, 9000) / 1000,
                cpuPercent(std::min(cpuMs, 9000)));
    form.mnuStopAllClick();
    std::printf("memory: VmRSS before warming %ld KiB, peak VmHWM %ld KiB\n", rssBefore, statusKb("VmHWM:"));
    std::printf("dropouts in all (streams running dry before their end): %d\n", engine.underflowCount());
    if (evenLevels) {
        QElapsedTimer rest;
        rest.start();
        const bool done = levels.waitIdle(120000);
        std::printf("even levels: %zu songs measured by the end (%s %lld ms after it)\n",
                    levels.measuredCount(), done ? "all done" : "not done",
                    static_cast<long long>(rest.elapsed()));
    }
    return 0;
}
