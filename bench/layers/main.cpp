// SPDX-License-Identifier: GPL-3.0-or-later
// Sixteen sounds over the show's song. The board runs as "sonavex --headless" with a settings
// folder of its own: its first button holds the show's song, the next sixteen play over what
// plays, each a tone of its own. Over OSC on 127.0.0.1, each round presses the show's song on an
// idle board, then the sixteen one after another, holds all seventeen, and ends with Stop All,
// while the null sink's monitor is recorded with the time each piece of it arrived. Per round:
// - the idle press and the sixteenth press to their first sound, found by the same tone detector;
// - every tone there with all seventeen playing (its level within 3 dB of what it was written at);
// - dropouts: a 5 ms piece in which a tone that plays falls silent. A piece in which every tone
//   falls silent at once is the recording's own hiccup and is counted apart.
// With both cores idle, then with both saturated. Then the board's CPU while seventeen play and
// its memory. Needs the test audio server.
#include "BenchSupport.h"
#include "BusyLoad.h"
#include "OnsetRecorder.h"
#include "app/RemoteSettings.h"
#include "platform/Dialogs.h"
#include "platform/IniRegistry.h"
#include "remote/OscPacket.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <numbers>
#include <vector>

namespace {

using namespace bench;

constexpr int Layers = 16;
/// Layer buttons beyond the most that may play at once, pressed in the flood.
constexpr int Spare = 4;
/// The flood: presses a second over OSC, and for how long.
constexpr int FloodPerSecond = 100;
constexpr int FloodMs = 3000;
constexpr int Rounds = 16;
constexpr double ShowHz = 250.0;
constexpr int Amplitude = 1500;                    ///< each tone's; seventeen together stay below full scale
constexpr int PieceFrames = Pcm::SampleRate / 200; ///< 5 ms
constexpr int OnsetWindow = 256;
constexpr int OnsetHop = 32;

/// Tone k (0 the show's song, 1..16 the layers, then the spare ones): far enough apart that a
/// 5 ms piece tells them apart.
double toneHz(int k)
{
    return k == 0 ? ShowHz : 700.0 + 420.0 * (k - 1);
}

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

std::vector<std::int16_t> sine(double hz, double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * Pcm::SampleRate);
    std::vector<std::int16_t> s(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(
            Amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / Pcm::SampleRate)));
        s[2 * i] = s[2 * i + 1] = v;
    }
    return s;
}

/// The level of `hz` in `n` samples from `x`, in dB of a full-scale sine (Hann window).
double toneDb(const float* x, std::size_t n, double hz)
{
    const double w = 2 * std::numbers::pi * hz / Pcm::SampleRate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0, windowSum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double hann =
            0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1));
        windowSum += hann;
        const double s0 = x[i] * hann + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    const double amplitude = 2 * std::sqrt(std::max(power, 0.0)) / windowSum;
    return 20 * std::log10(std::max(amplitude, 1e-9) / 32768.0);
}

/// Records the null sink's monitor (both sides mixed) and when each piece of it arrived.
class MonitorTape {
public:
    MonitorTape()
    {
        m_loop = pa_threaded_mainloop_new();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "layers-bench");
        pa_context_set_state_callback(m_context, &MonitorTape::signal, this);
        pa_threaded_mainloop_lock(m_loop);
        pa_threaded_mainloop_start(m_loop);
        pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (pa_context_get_state(m_context) != PA_CONTEXT_READY &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            pa_threaded_mainloop_wait(m_loop);
        if (pa_context_get_state(m_context) == PA_CONTEXT_READY) {
            const pa_sample_spec format{PA_SAMPLE_S16LE, Pcm::SampleRate, 2};
            m_stream = pa_stream_new(m_context, "monitor", &format, nullptr);
            pa_stream_set_read_callback(m_stream, &MonitorTape::onRead, this);
            pa_buffer_attr attr{};
            attr.maxlength = static_cast<std::uint32_t>(-1);
            attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(2000, &format));
            attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
            m_ready =
                pa_stream_connect_record(m_stream, "nullsink.monitor", &attr, PA_STREAM_ADJUST_LATENCY) == 0;
        }
        pa_threaded_mainloop_unlock(m_loop);
    }
    ~MonitorTape()
    {
        pa_threaded_mainloop_lock(m_loop);
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }
    MonitorTape(const MonitorTape&) = delete;
    MonitorTape& operator=(const MonitorTape&) = delete;

    [[nodiscard]] bool ready() const { return m_ready; }
    [[nodiscard]] std::size_t frames() const
    {
        std::lock_guard lock(m_mutex);
        return m_samples.size();
    }
    [[nodiscard]] std::vector<float> take(std::size_t from, std::size_t to) const
    {
        std::lock_guard lock(m_mutex);
        to = std::min(to, m_samples.size());
        from = std::min(from, to);
        return {m_samples.begin() + static_cast<std::ptrdiff_t>(from),
                m_samples.begin() + static_cast<std::ptrdiff_t>(to)};
    }
    /// When the piece holding `frame` reached this reader (CLOCK_MONOTONIC ns); -1 when not yet.
    [[nodiscard]] std::int64_t arrivalOf(std::size_t frame) const
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::upper_bound(m_arrivals.begin(), m_arrivals.end(), frame,
                                         [](std::size_t f, const auto& a) { return f < a.first; });
        return it == m_arrivals.end() ? -1 : it->second;
    }
    /// The frame recorded at `ns` or just after it.
    [[nodiscard]] std::size_t frameAt(std::int64_t ns) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [end, at] : m_arrivals)
            if (at >= ns)
                return end;
        return m_samples.size();
    }

private:
    static void signal(pa_context*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<MonitorTape*>(self)->m_loop, 0);
    }
    static void onRead(pa_stream* s, std::size_t, void* self)
    {
        auto* t = static_cast<MonitorTape*>(self);
        if (!t->m_realtimeAsked) {
            t->m_realtimeAsked = true;
            Realtime::makeRealtime(Realtime::currentThread(), Realtime::StreamPriority + 2);
        }
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
            const std::int64_t now = monotonicNs();
            const std::size_t n = bytes / 4;
            std::lock_guard lock(t->m_mutex);
            const auto* x = static_cast<const std::int16_t*>(data);
            for (std::size_t i = 0; i < n; ++i)
                t->m_samples.push_back(
                    x ? 0.5f * (static_cast<float>(x[2 * i]) + static_cast<float>(x[2 * i + 1])) : 0.0f);
            t->m_arrivals.emplace_back(t->m_samples.size(), now);
            pa_stream_drop(s);
        }
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    bool m_ready = false;
    bool m_realtimeAsked = false;
    mutable std::mutex m_mutex;
    std::vector<float> m_samples;
    std::vector<std::pair<std::size_t, std::int64_t>> m_arrivals; ///< (frames recorded, arrival)
};

class Sender {
public:
    explicit Sender(quint16 port)
        : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(port);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Sender() { ::close(m_fd); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    /// Sends and returns when it was sent.
    std::int64_t send(const QByteArray& address) const
    {
        const QByteArray datagram = OscPacket::message(address);
        const std::int64_t at = monotonicNs();
        ::sendto(m_fd, datagram.constData(), static_cast<std::size_t>(datagram.size()), 0,
                 reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
        return at;
    }
    std::int64_t press(int slot) const
    {
        return send("/sonavex/sheet/1/button/" + QByteArray::number(slot + 1) + "/press");
    }

private:
    int m_fd;
    sockaddr_in m_to{};
};

void sleepMs(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

/// When tone `hz` was first heard after `sentNs`: the arrival of the first 256-frame window
/// from then on that holds it within 10 dB of its level. -1 when not within `withinMs`.
std::int64_t heardAt(const MonitorTape& tape, std::int64_t sentNs, double hz, int withinMs)
{
    const std::size_t from = tape.frameAt(sentNs) > OnsetWindow ? tape.frameAt(sentNs) - OnsetWindow : 0;
    sleepMs(withinMs);
    const std::vector<float> x =
        tape.take(from, from + static_cast<std::size_t>(withinMs) * Pcm::SampleRate / 1000);
    const double bar = 20 * std::log10(Amplitude / 32768.0) - 10.0;
    for (std::size_t at = 0; at + OnsetWindow <= x.size(); at += OnsetHop)
        if (toneDb(x.data() + at, OnsetWindow, hz) > bar) {
            const std::int64_t arrived = tape.arrivalOf(from + at + OnsetWindow - 1);
            return arrived >= sentNs ? arrived : sentNs;
        }
    return -1;
}

struct Steady {
    int missingTones = 0; ///< tones not heard at their level with all seventeen playing
    int dropouts = 0;     ///< 5 ms pieces in which one tone (not all) fell silent
    int tapeHiccups = 0;  ///< pieces in which every tone fell silent at once
};

Steady listen(const std::vector<float>& x)
{
    Steady r;
    const double expected = 20 * std::log10(Amplitude / 32768.0);
    const std::size_t pieces = x.size() / PieceFrames;
    std::vector<int> silentIn(pieces, 0);
    for (int k = 0; k <= Layers; ++k) {
        const double whole = toneDb(x.data(), std::min<std::size_t>(x.size(), Pcm::SampleRate), toneHz(k));
        if (std::abs(whole - expected) > 3.0)
            ++r.missingTones;
        for (std::size_t p = 0; p < pieces; ++p)
            if (toneDb(x.data() + p * PieceFrames, PieceFrames, toneHz(k)) < expected - 12.0)
                ++silentIn[p];
    }
    for (const int silent : silentIn) {
        if (silent == Layers + 1)
            ++r.tapeHiccups;
        else
            r.dropouts += silent;
    }
    return r;
}

/// CPU seconds the process has used.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

/// "VmRSS" or "VmHWM" of the process in MiB.
double memoryMiB(qint64 pid, const char* what)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(what))
            return line.mid(static_cast<int>(std::strlen(what)) + 1)
                       .trimmed()
                       .split(' ')
                       .value(0)
                       .toDouble() /
                   1024.0;
    return 0;
}

struct Phase {
    Series idle, sixteenth;
    int missingTones = 0, dropouts = 0, tapeHiccups = 0;
    double cpuPercent = 0;
};

Phase run(const Sender& osc, const MonitorTape& tape, qint64 pid)
{
    Phase phase;
    double cpu = 0, seconds = 0;
    for (int round = 0; round < Rounds; ++round) {
        std::int64_t sent = osc.press(0);
        phase.idle.add(sent, heardAt(tape, sent, toneHz(0), 250));
        for (int k = 1; k < Layers; ++k) {
            osc.press(k);
            sleepMs(60);
        }
        sent = osc.press(Layers);
        phase.sixteenth.add(sent, heardAt(tape, sent, toneHz(Layers), 250));
        const double cpuFrom = cpuSeconds(pid);
        QElapsedTimer clock;
        clock.start();
        const std::size_t from = tape.frames();
        sleepMs(1500);
        const std::size_t to = tape.frames();
        cpu += cpuSeconds(pid) - cpuFrom;
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const Steady heard = listen(tape.take(from, to));
        phase.missingTones += heard.missingTones;
        phase.dropouts += heard.dropouts;
        phase.tapeHiccups += heard.tapeHiccups;
        osc.send("/sonavex/stopall");
        sleepMs(500);
    }
    phase.cpuPercent = seconds > 0 ? 100.0 * cpu / seconds : 0;
    return phase;
}

struct Flood {
    int layersHeard = 0; ///< layer tones at their level after the flood
    int beyondCap = 0;   ///< of them, those of buttons pressed after the sixteenth
    int showDropouts = 0;
    bool showHeard = false;
};

/// The show's song plays; then 100 presses a second on twenty layer buttons in turn for 3 s: the
/// first sixteen start, the others are refused, the presses on those that play start them again.
Flood flood(const Sender& osc, const MonitorTape& tape)
{
    Flood r;
    osc.press(0);
    sleepMs(300);
    const std::size_t during = tape.frames();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; clock.elapsed() < FloodMs; ++i) {
        osc.press(1 + i % (Layers + Spare));
        const qint64 next = static_cast<qint64>(i + 1) * 1000 / FloodPerSecond;
        if (next > clock.elapsed())
            sleepMs(static_cast<int>(next - clock.elapsed()));
    }
    const std::vector<float> underFlood = tape.take(during, tape.frames());
    const double expected = 20 * std::log10(Amplitude / 32768.0);
    for (std::size_t p = 0; p + PieceFrames <= underFlood.size(); p += PieceFrames)
        if (toneDb(underFlood.data() + p, PieceFrames, toneHz(0)) < expected - 12.0)
            ++r.showDropouts;
    sleepMs(300);
    const std::size_t from = tape.frames();
    sleepMs(1000);
    const std::vector<float> after = tape.take(from, tape.frames());
    const auto heard = [&](int k) {
        return std::abs(
                   toneDb(after.data(), std::min<std::size_t>(after.size(), Pcm::SampleRate), toneHz(k)) -
                   expected) < 3.0;
    };
    r.showHeard = heard(0);
    for (int k = 1; k <= Layers + Spare; ++k) {
        if (heard(k)) {
            ++r.layersHeard;
            if (k > Layers)
                ++r.beyondCap;
        }
    }
    osc.send("/sonavex/stopall");
    sleepMs(500);
    return r;
}

void print(const char* load, const Phase& p)
{
    std::printf("\n%s (%d rounds):\n", load, Rounds);
    printRow("idle press (show's song)", p.idle);
    printRow("16th layer press", p.sixteenth);
    std::printf("  16th minus idle, medians: %+.2f ms\n", p.sixteenth.at(0.5) - p.idle.at(0.5));
    std::printf("  tones not heard at their level: %d of %d\n", p.missingTones, Rounds * (Layers + 1));
    std::printf("  dropouts (5 ms pieces with a tone silent): %d; the recording's own hiccups: %d\n",
                p.dropouts, p.tapeHiccups);
    std::printf("  board CPU with 17 playing: %.1f %% of one core\n", p.cpuPercent);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    MonitorTape tape;
    if (!tape.ready()) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return 1;
    }
    QTemporaryDir home;
    const QString config = home.path() + QLatin1String("/config");
    const QString data = home.path() + QLatin1String("/data");
    QDir().mkpath(data);
    IniRegistry registry(config);
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
    registry.WriteString(QStringLiteral("InfoPath"), data + QLatin1String("/songs.inf"));
    registry.CloseKey();
    {
        NoDialogs dialogs;
        TSongInfo store(registry, dialogs);
        for (int k = 0; k <= Layers + Spare; ++k) {
            const QString wav = home.path() + QStringLiteral("/tone%1.wav").arg(k);
            writeWav(wav, sine(toneHz(k), k == 0 ? 40.0 : 20.0));
            TSongRecord rec;
            InitSongRecord(rec);
            rec.Title.set(QStringLiteral("Tone %1").arg(k));
            rec.FileName.set(wav);
            rec.Sheet = 0;
            rec.Slot = k;
            store.SetSong(0, k, rec);
            if (k > 0) {
                ButtonSettings layer;
                layer.layer = true;
                store.setButtonSettings(0, k, layer);
            }
        }
    }
    quint16 port = 0;
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
        ::close(fd);
    }
    RemoteSettings remote;
    remote.oscPort = port;
    remote.save(registry);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_DATA_HOME"), data);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QLatin1String("/cache"));
    QProcess board;
    board.setProcessEnvironment(env);
    board.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    board.setReadChannel(QProcess::StandardError); // what it says; its output goes to ours
    board.start(QStringLiteral(SONAVEX_BINARY), {QStringLiteral("--headless")});
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    while (!said.contains("OSC on UDP port") && board.state() != QProcess::NotRunning &&
           clock.elapsed() < 15000) {
        board.waitForReadyRead(200);
        said += board.readAllStandardError();
    }
    if (!said.contains("OSC on UDP port")) {
        std::fprintf(stderr, "the board did not start: %s\n", said.constData());
        return 1;
    }
    sleepMs(1500); // the songs decoded ahead
    const qint64 pid = board.processId();
    const Sender osc(port);

    std::printf("Sixteen layers over the show's song, pressed over OSC, each to its first sound (ms):\n");
    std::printf("  %-40s %7s %7s %4s %4s\n", "", "median", "p95", "miss", "runs");
    const Phase idle = run(osc, tape, pid);
    print("Both cores idle", idle);
    Phase busy;
    {
        const BusyLoad load(2);
        busy = run(osc, tape, pid);
    }
    print("Both cores saturated", busy);

    const auto drain = [&board, &said] {
        while (board.waitForReadyRead(300))
            said += board.readAllStandardError();
    };
    drain();
    const auto said16 = said.count("sonavex: 16 sounds play over the show");
    said.clear();
    const Flood f = flood(osc, tape);
    drain();
    std::printf("\n%d presses a second for %.0f s on %d layer buttons in turn, the show's song playing:\n",
                FloodPerSecond, FloodMs / 1000.0, Layers + Spare);
    std::printf(
        "  layers heard after it: %d (of them beyond the cap: %d); the show's song %s, %d dropouts under "
        "the flood\n",
        f.layersHeard, f.beyondCap, f.showHeard ? "heard" : "NOT heard", f.showDropouts);
    std::printf("  the refusal said %d time(s) in the flood (and %d in the rounds before)\n",
                static_cast<int>(said.count("sonavex: 16 sounds play over the show")),
                static_cast<int>(said16));
    std::printf("\nBoard memory: %.1f MiB resident now, %.1f MiB at its highest\n", memoryMiB(pid, "VmRSS:"),
                memoryMiB(pid, "VmHWM:"));
    said += board.readAllStandardError();
    board.terminate();
    board.waitForFinished(10000);
    return 0;
}
