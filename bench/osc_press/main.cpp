// SPDX-License-Identifier: GPL-3.0-or-later
// OSC press to sound: a press datagram sent over UDP on 127.0.0.1 to the board's OSC server, from
// the moment it is sent to the first sample of the song at the null sink's monitor, beside a press
// on the sound button of the real main window (queued for the window's thread as the window system
// delivers one), the two taken in turns. Then the same while a flood of 10,000 datagrams a second
// (broken, unknown and oversized, from another thread) pours in, with how late the window's timer
// ran meanwhile and what the server dropped. Runs offscreen; needs the test audio server.
#include "OnsetRecorder.h"
#include "app/BoardControl.h"
#include "app/frmMain.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "controls/Tranbtn.h"
#include "mci/CdTrackCatalog.h"
#include "platform/Application.h"
#include "platform/DriveList.h"
#include "platform/IniRegistry.h"
#include "platform/QtDialogs.h"
#include "remote/OscServer.h"
#include "songs/SongStruc.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

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

class NoCd : public CdTrackCatalog {
public:
    int trackCount() const override { return 0; }
};

class NoDrives : public DriveList {
public:
    QList<DriveInfo> drives() const override { return {}; }
    QString startDirectory() const override { return {}; }
};

struct Series {
    std::vector<double> ms;
    int missed = 0;
    void add(std::int64_t from, std::int64_t to)
    {
        if (from > 0 && to >= from)
            ms.push_back(static_cast<double>(to - from) / 1e6);
        else
            ++missed;
    }
    [[nodiscard]] double at(double q) const
    {
        if (ms.empty())
            return NAN;
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1,
                          static_cast<std::size_t>(std::ceil(q * static_cast<double>(v.size()))) - 1)];
    }
};

void postPress(TMTranBtn* button)
{
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    const QPointF global = button->mapToGlobal(at);
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

template <typename Work> void driveFromAnotherThread(Work work)
{
    QEventLoop loop;
    std::thread driver([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    driver.join();
}

/// A UDP socket on 127.0.0.1 that sends to the board's port.
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
    bool send(const QByteArray& d) const
    {
        return ::sendto(m_fd, d.constData(), static_cast<std::size_t>(d.size()), 0,
                        reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to) == d.size();
    }

private:
    int m_fd;
    sockaddr_in m_to{};
};

/// 10,000 datagrams a second from a thread of its own, for as long as it lives: broken ones,
/// unknown addresses (answered at a bounded rate) and oversized ones, in turn.
class Flood {
public:
    explicit Flood(quint16 port)
        : m_thread([this, port] {
            Sender sender(port);
            const QByteArray kinds[] = {QByteArray("not osc at all"), OscPacket::message("/sonavex/jump"),
                                        QByteArray(8000, 'x'), OscPacket::message("/sonavex/sheet/99/show")};
            const std::int64_t start = monotonicNs();
            while (!m_stop.load()) {
                // Paced: the n-th datagram leaves at n/10,000 s.
                const std::int64_t due = start + m_sent.load() * 100000;
                const std::int64_t now = monotonicNs();
                if (now < due) {
                    std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
                    continue;
                }
                sender.send(kinds[m_sent.load() % 4]);
                ++m_sent;
            }
        })
    {
    }
    ~Flood()
    {
        m_stop = true;
        m_thread.join();
    }
    Flood(const Flood&) = delete;
    Flood& operator=(const Flood&) = delete;
    [[nodiscard]] std::int64_t sent() const { return m_sent.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_sent{0};
    std::thread m_thread;
};

struct Result {
    Series window, osc;
    int dropouts = 0;
};

Result measure(TMainForm& form, const PulseAudioEngine& engine, OnsetRecorder& recorder, quint16 port,
               int runs)
{
    Result r;
    const int before = engine.underflowCount();
    Sender sender(port);
    const QByteArray press = OscPacket::message("/sonavex/sheet/1/button/1/press");
    const auto stop = [&form] {
        QMetaObject::invokeMethod(
            &form, [&form] { form.mnuStopAllClick(); }, Qt::BlockingQueuedConnection);
    };
    driveFromAnotherThread([&] {
        for (int run = 0; run < runs; ++run) {
            for (const bool overOsc : {false, true}) {
                recorder.waitQuiet(100, 3000);
                recorder.arm();
                const std::int64_t t0 = monotonicNs();
                if (overOsc)
                    sender.send(press);
                else
                    postPress(form.SongButtons[0]);
                const std::int64_t onset = recorder.waitOnset(2000);
                (overOsc ? r.osc : r.window).add(t0, onset);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                stop();
            }
        }
    });
    r.dropouts = engine.underflowCount() - before;
    return r;
}

void row(const char* what, const Series& s)
{
    std::printf("  %-40s %7.2f %7.2f %4d %4zu\n", what, s.at(0.5), s.at(0.95), s.missed, s.ms.size());
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SonavexApplication app(argc, argv);
    QPointingDevice::primaryPointingDevice();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QTemporaryDir dir;
    const QString click = dir.filePath(QStringLiteral("click.wav"));
    writeWav(click, square(0.3, 100));
    PulseAudioEngine engine(QStringLiteral("sonavex-bench"));
    if (!engine.waitConnected(3000)) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return 1;
    }
    MediaPlayerControl player(engine);
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    IniRegistry registry(dir.filePath(QStringLiteral("config")));
    QtDialogs dialogs;
    NoCd cd;
    NoDrives drives;
    auto store = std::make_unique<TSongInfo>(registry, dialogs);
    TSongRecord rec;
    InitSongRecord(rec);
    rec.Title.set(QStringLiteral("Click"));
    rec.FileName.set(click);
    store->SetSong(0, 0, rec);
    TMainForm form(MainFormServices{registry, dialogs, player, cd, drives}, std::move(store));
    form.show();
    player.waitHotListWarm(10000);
    BoardControl board(form);
    OscServer server(board);
    quint16 port = 39020;
    while (port < 39200 && !server.listen({port, false, QString()}))
        ++port;
    if (!server.listening()) {
        std::fprintf(stderr, "no free port for the OSC server\n");
        return 1;
    }

    OnsetRecorder recorder;
    // The window's 10 ms timer: how late its ticks run, without the flood and under it.
    QElapsedTimer sinceTick;
    std::vector<double> lateMs;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        lateMs.push_back(static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 10.0);
        sinceTick.restart();
    });
    const auto lateness = [&](const std::function<Result()>& run, Series& into) {
        lateMs.clear();
        sinceTick.start();
        tick.start(10);
        Result r = run();
        tick.stop();
        into.ms = lateMs;
        return r;
    };
    Series idleLate, floodLate;
    const Result idle = lateness([&] { return measure(form, engine, recorder, port, runs); }, idleLate);

    const OscCounters before = server.remote().counters();
    Result flooded;
    std::int64_t floodSent = 0;
    QElapsedTimer floodTime;
    {
        Flood flood(port);
        floodTime.start();
        flooded = lateness([&] { return measure(form, engine, recorder, port, runs); }, floodLate);
        floodSent = flood.sent();
    }
    const OscCounters after = server.remote().counters();

    std::printf("\nWhat is measured: CLOCK_MONOTONIC from the moment a press is queued for the window's\n"
                "thread (window) or its datagram is sent to 127.0.0.1 (OSC) to the first loud sample at a\n"
                "reader of the null sink's monitor (%s). The two presses are taken in turns, %d runs each.\n"
                "Columns: median, p95 (ms), runs missed, runs; for the timer median, p99 and the worst.\n\n",
                recorder.realtime() ? "reader real-time" : "reader at normal priority", runs);
    std::printf("idle\n");
    row("press on the window to first sample", idle.window);
    row("OSC press to first sample", idle.osc);
    std::printf("  %-40s %7.2f\n", "OSC - window, medians", idle.osc.at(0.5) - idle.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", idle.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", idleLate.at(0.5),
                idleLate.at(0.99), idleLate.at(1.0));
    std::printf("\nunder a flood of %.0f datagrams a second (%lld sent in %.1f s)\n",
                static_cast<double>(floodSent) * 1000.0 / static_cast<double>(floodTime.elapsed()),
                static_cast<long long>(floodSent), static_cast<double>(floodTime.elapsed()) / 1000.0);
    row("press on the window to first sample", flooded.window);
    row("OSC press to first sample", flooded.osc);
    std::printf("  %-40s %7.2f\n", "OSC - window, medians", flooded.osc.at(0.5) - flooded.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", flooded.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", floodLate.at(0.5),
                floodLate.at(0.99), floodLate.at(1.0));
    std::printf("  %-40s %7llu\n", "datagrams read by the server",
                static_cast<unsigned long long>(after.received - before.received));
    std::printf("  %-40s %7llu\n", "of them dropped and counted",
                static_cast<unsigned long long>(after.dropped() - before.dropped()));
    std::printf("  %-40s %7llu\n", "errors left unanswered (rate bound)",
                static_cast<unsigned long long>(after.unanswered - before.unanswered));
    return 0;
}
