// SPDX-License-Identifier: GPL-3.0-or-later
// Sixteen layers over the show's song on the test audio server. With the show's song playing,
// fifteen quiet layers are started one after another, each a tone of its own, and the 16th, a
// loud square, is timed from its press to its first sample at the null sink's monitor, against
// an idle press of the show's own player. Then all sixteen play tones together: each tone is
// looked for in what the sink played, and the streams' dropouts are counted. Once on an idle
// machine and once with busy programs on both cores (started and stopped here). Then the CPU
// while sixteen play, and the memory.
#include "BenchSupport.h"
#include "BusyLoad.h"
#include "OnsetRecorder.h"
#include "audio/LayerOutputs.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using namespace bench;

constexpr int Layers = 16;
constexpr int Runs = 8;
/// Above any sum of the quiet tones, below the loud square with them on top.
constexpr int OnsetThreshold = 12000;

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
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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

std::vector<std::int16_t> sine(double hz, double seconds, double amplitude)
{
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    std::vector<std::int16_t> s(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] =
            static_cast<std::int16_t>(std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * i / 44100.0)));
    return s;
}

/// The level of `hz` in dBFS over the first channel (Goertzel).
double toneDb(const std::vector<std::int16_t>& s, double hz)
{
    const std::size_t frames = s.size() / 2;
    if (frames == 0)
        return -200.0;
    const double w = 2 * M_PI * hz / 44100.0;
    double re = 0, im = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        re += s[2 * i] * std::cos(w * i);
        im += s[2 * i] * std::sin(w * i);
    }
    const double amplitude = 2.0 * std::sqrt(re * re + im * im) / static_cast<double>(frames) / 32768.0;
    return amplitude > 0 ? 20 * std::log10(amplitude) : -200.0;
}

/// Records the default source (the copy of the null sink's monitor).
struct Tap : PcmSink {
    void write(const std::int16_t* in, std::size_t frames) override
    {
        std::lock_guard lock(mutex);
        samples.insert(samples.end(), in, in + frames * 2);
    }
    std::vector<std::int16_t> take()
    {
        std::lock_guard lock(mutex);
        return std::exchange(samples, {});
    }
    std::mutex mutex;
    std::vector<std::int16_t> samples;
};

struct Files {
    QString show;                ///< the show's song: a quiet tone
    std::vector<QString> layers; ///< a quiet tone each
    std::vector<double> hz;      ///< the show's tone, then the layers'
    QString square;              ///< loud, for the timed press
};

struct ModeResult {
    Series idlePress, layerPress;
    int missingTones = 0;
    double weakestToneDb = 0;
    int dropouts = 0;
};

ModeResult measure(PulseAudioEngine& engine, MediaPlayerControl& show, LayerOutputs& outputs,
                   OnsetRecorder& recorder, const Files& files)
{
    ModeResult r;
    const int before = engine.underflowCount();
    for (int run = 0; run < Runs; ++run) {
        // An idle press of the show's player.
        recorder.waitQuiet(100, 3000);
        recorder.arm();
        std::int64_t t0 = monotonicNs();
        show.setFileName(files.square);
        r.idlePress.add(t0, recorder.waitOnset(2000));
        show.stop();
        spin(150);

        // The show's song and fifteen layers, started one after another; then the 16th, timed.
        show.setFileName(files.show);
        std::vector<std::unique_ptr<MediaPlayer>> layers;
        for (int i = 0; i < Layers - 1; ++i) {
            layers.push_back(outputs.newPlayer(OutputRoute{}));
            layers.back()->setFileName(files.layers[static_cast<std::size_t>(i)]);
            spin(30);
        }
        spin(100);
        recorder.waitQuiet(100, 3000);
        recorder.arm();
        layers.push_back(outputs.newPlayer(OutputRoute{}));
        t0 = monotonicNs();
        layers.back()->setFileName(files.square);
        r.layerPress.add(t0, recorder.waitOnset(2000));
        layers.clear();
        show.stop();
        spin(150);
    }

    // All sixteen tones and the show's together: each one heard.
    auto tap = std::make_shared<Tap>();
    show.setFileName(files.show);
    std::vector<std::unique_ptr<MediaPlayer>> layers;
    for (int i = 0; i < Layers; ++i) {
        layers.push_back(outputs.newPlayer(OutputRoute{}));
        layers.back()->setFileName(files.layers[static_cast<std::size_t>(i)]);
        spin(30);
    }
    auto capture = engine.startCapture(tap);
    spin(200);
    tap->take();
    spin(1500);
    const std::vector<std::int16_t> heard = tap->take();
    capture.reset();
    r.weakestToneDb = 0;
    for (double hz : files.hz) {
        const double db = toneDb(heard, hz);
        r.weakestToneDb = std::min(r.weakestToneDb, db);
        if (db < -50.0) // each is at -40 dBFS
            ++r.missingTones;
    }
    layers.clear();
    show.stop();
    r.dropouts = engine.underflowCount() - before;
    return r;
}

void printMode(const char* title, const ModeResult& r)
{
    std::printf("%s\n  %-40s %7s %7s %4s %4s\n", title, "(ms)", "median", "p95", "miss", "runs");
    printRow("idle press of the show to first sample", r.idlePress);
    printRow("16th layer's press to first sample", r.layerPress);
    std::printf("  %-40s %7.2f\n", "16th layer - idle press, medians",
                r.layerPress.at(0.5) - r.idlePress.at(0.5));
    std::printf("  %-40s %7d of %d (weakest %.1f dB)\n", "tones missing with all 16 + show", r.missingTones,
                Layers + 1, r.weakestToneDb);
    std::printf("  %-40s %7d\n", "dropouts (streams run dry)", r.dropouts);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Files files;
    files.hz.push_back(250.0);
    files.show = dir.filePath(QStringLiteral("show.wav"));
    writeWav(files.show, sine(250.0, 30.0, 0.01));
    for (int i = 0; i < Layers; ++i) {
        const double hz = 410.0 + 130.0 * i;
        files.hz.push_back(hz);
        files.layers.push_back(dir.filePath(QStringLiteral("layer%1.wav").arg(i)));
        writeWav(files.layers.back(), sine(hz, 20.0, 0.01));
    }
    files.square = dir.filePath(QStringLiteral("square.wav"));
    writeWav(files.square, square(2.0, 100));

    PulseAudioEngine engine(QStringLiteral("sonavex-layers-bench"));
    if (!engine.waitConnected(3000)) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return 1;
    }
    MediaPlayerControl show(engine);
    LayerOutputs outputs(engine, nullptr, show);
    QStringList hot{files.show, files.square};
    for (const QString& f : files.layers)
        hot << f;
    show.setHotList(hot);
    show.waitHotListWarm(20000);
    OnsetRecorder recorder("nullsink.monitor", OnsetThreshold);

    std::printf("Sixteen layers over the show's song (%d runs; the reader %s real-time)\n", Runs,
                recorder.realtime() ? "runs" : "does not run");
    const ModeResult idle = measure(engine, show, outputs, recorder, files);
    printMode("Idle machine", idle);
    ModeResult loaded;
    {
        const BusyLoad load(static_cast<int>(std::thread::hardware_concurrency()));
        spin(300);
        loaded = measure(engine, show, outputs, recorder, files);
    }
    printMode("Both cores saturated", loaded);

    // CPU and memory while sixteen play.
    show.setFileName(files.show);
    std::vector<std::unique_ptr<MediaPlayer>> layers;
    for (int i = 0; i < Layers; ++i) {
        layers.push_back(outputs.newPlayer(OutputRoute{}));
        layers.back()->setFileName(files.layers[static_cast<std::size_t>(i)]);
    }
    spin(300);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(3000);
    const double cpu = 100.0 * (cpuSeconds() - cpuBefore) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
    std::printf("While 16 layers and the show play\n");
    std::printf("  %-40s %7.1f %% of one core\n", "board's CPU", cpu);
    std::printf("  %-40s %7ld kB (peak %ld kB)\n", "memory (RSS)", statusKb("VmRSS:"), statusKb("VmHWM:"));
    layers.clear();
    show.stop();
    return 0;
}
