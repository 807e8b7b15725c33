// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI press to sound: a note-on sent by a controller (a virtual port of this program on a JACK
// server, started with scripts/start-test-jack) to the board's MIDI input, from the moment it is
// sent to the first sample of the song at the null sink's monitor, beside a press on the sound
// button of the real main window, the two taken in turns; then the same under a flood of 1,000
// unassigned notes a second. Reports the JACK period, which a note waits for at most before the
// board sees it. Runs offscreen; needs the test audio server and the JACK server.
#include "OnsetRecorder.h"
#include "app/BoardControl.h"
#include "app/frmMain.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "controls/Tranbtn.h"
#include "mci/CdTrackCatalog.h"
#include "midi/MidiDevices.h"
#include "midi/MidiRemote.h"
#include "platform/Application.h"
#include "platform/DriveList.h"
#include "platform/IniRegistry.h"
#include "platform/QtDialogs.h"
#include "songs/SongStruc.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QTimer>

#include <RtMidi.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
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

/// The controller: a virtual output port on the JACK server, which the board finds and reads.
class Pad {
public:
    Pad()
        : m_out(RtMidi::UNIX_JACK, "BenchPad")
    {
        m_out.openVirtualPort("pads");
    }
    void note(unsigned char number)
    {
        const unsigned char on[] = {0x90, number, 100};
        m_out.sendMessage(on, sizeof on);
    }

private:
    RtMidiOut m_out;
};

/// 1,000 note-ons a second of a note nobody assigned, from a thread and a port of its own.
class Flood {
public:
    Flood()
        : m_thread([this] {
            Pad pad;
            const std::int64_t start = monotonicNs();
            while (!m_stop.load()) {
                const std::int64_t due = start + m_sent.load() * 1000000;
                const std::int64_t now = monotonicNs();
                if (now < due) {
                    std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
                    continue;
                }
                pad.note(50);
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
    Series window, midi;
    int dropouts = 0;
};

Result measure(TMainForm& form, const PulseAudioEngine& engine, OnsetRecorder& recorder, Pad& pad, int runs)
{
    Result r;
    const int before = engine.underflowCount();
    const auto stop = [&form] {
        QMetaObject::invokeMethod(
            &form, [&form] { form.mnuStopAllClick(); }, Qt::BlockingQueuedConnection);
    };
    driveFromAnotherThread([&] {
        for (int run = 0; run < runs; ++run) {
            for (const bool overMidi : {false, true}) {
                recorder.waitQuiet(100, 3000);
                recorder.arm();
                const std::int64_t t0 = monotonicNs();
                if (overMidi)
                    pad.note(36);
                else
                    postPress(form.SongButtons[0]);
                const std::int64_t onset = recorder.waitOnset(2000);
                (overMidi ? r.midi : r.window).add(t0, onset);
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
    MidiRemote remote(board);
    remote.assignments().bind({MidiMessageId::Kind::Note, 1, 36}, MidiSlot{0, 0});
    std::unique_ptr<Pad> pad;
    try {
        pad = std::make_unique<Pad>();
    } catch (const RtMidiError&) {
        std::fprintf(stderr, "no JACK server: eval \"$(scripts/start-test-jack)\"\n");
        return 1;
    }
    MidiDevices devices(board, remote, {});
    QString why;
    if (!devices.start(MidiDevices::Api::Jack, &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    // The JACK period: MIDI moves once a period, so a note waits up to one before it is read.
    double periodMs = NAN;
    if (jack_client_t* client = jack_client_open("BenchProbe", JackNoStartServer, nullptr)) {
        periodMs = 1000.0 * jack_get_buffer_size(client) / jack_get_sample_rate(client);
        jack_client_close(client);
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
    const Result idle = lateness([&] { return measure(form, engine, recorder, *pad, runs); }, idleLate);

    const MidiCounters before = remote.counters();
    Result flooded;
    std::int64_t floodSent = 0;
    QElapsedTimer floodTime;
    {
        Flood flood;
        // Its port is found at the board's next look for ports.
        QEventLoop settle;
        QTimer::singleShot(2 * MidiDevices::PollMs, &settle, &QEventLoop::quit);
        settle.exec();
        floodTime.start();
        const std::int64_t sentBefore = flood.sent();
        flooded = lateness([&] { return measure(form, engine, recorder, *pad, runs); }, floodLate);
        floodSent = flood.sent() - sentBefore;
    }
    const MidiCounters after = remote.counters();

    std::printf(
        "\nWhat is measured: CLOCK_MONOTONIC from the moment a press is queued for the window's\n"
        "thread (window) or its note-on is sent by the controller (MIDI) to the first loud sample at a\n"
        "reader of the null sink's monitor (%s). The two presses are taken in turns, %d runs each.\n"
        "Columns: median, p95 (ms), runs missed, runs; for the timer median, p99 and the worst.\n\n",
        recorder.realtime() ? "reader real-time" : "reader at normal priority", runs);
    std::printf("JACK period: %.2f ms\n\nidle\n", periodMs);
    row("press on the window to first sample", idle.window);
    row("MIDI note-on to first sample", idle.midi);
    std::printf("  %-40s %7.2f\n", "MIDI - window, medians", idle.midi.at(0.5) - idle.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", idle.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", idleLate.at(0.5),
                idleLate.at(0.99), idleLate.at(1.0));
    std::printf("\nunder a flood of %.0f unassigned notes a second (%lld sent in %.1f s)\n",
                static_cast<double>(floodSent) * 1000.0 / static_cast<double>(floodTime.elapsed()),
                static_cast<long long>(floodSent), static_cast<double>(floodTime.elapsed()) / 1000.0);
    row("press on the window to first sample", flooded.window);
    row("MIDI note-on to first sample", flooded.midi);
    std::printf("  %-40s %7.2f\n", "MIDI - window, medians", flooded.midi.at(0.5) - flooded.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", flooded.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", floodLate.at(0.5),
                floodLate.at(0.99), floodLate.at(1.0));
    std::printf("  %-40s %7llu\n", "notes dropped (stale or repeated)",
                static_cast<unsigned long long>(after.dropped - before.dropped));
    std::printf("  %-40s %7llu\n", "unassigned notes read",
                static_cast<unsigned long long>(after.unassigned - before.unassigned));
    std::printf("\nJACK period (MIDI transport, at most this long before a note is read): %.2f ms\n",
                periodMs);
    return 0;
}
