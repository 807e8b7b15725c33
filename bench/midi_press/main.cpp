// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI press to sound: a note-on sent by a controller (a virtual port of this program on a JACK
// server, started with scripts/start-test-jack) to the board's MIDI input, from the moment it is
// sent to the first sample of the song at the null sink's monitor, beside a press on the sound
// button of the real main window, the two taken in turns; then the same under a flood of 1,000
// unassigned notes a second. Reports the JACK period, which a note waits for at most before the
// board sees it. Runs offscreen; needs the test audio server and the JACK server.
#include "BenchSupport.h"
#include "OnsetRecorder.h"
#include "midi/MidiDevices.h"
#include "midi/MidiRemote.h"
#include "platform/Application.h"

#include <QElapsedTimer>
#include <QPointingDevice>

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

using namespace bench;

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

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SonavexApplication app(argc, argv);
    QPointingDevice::primaryPointingDevice();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    ClickBoard bench;
    if (!bench.ready())
        return 1;
    TMainForm& form = bench.form();
    PulseAudioEngine& engine = bench.engine();
    Board& board = form.board();
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
    const auto measure = [&] {
        PressesInTurns r;
        driveFromAnotherThread([&] {
            r = pressInTurns(form, engine, recorder, runs, [&] {
                const std::int64_t sent = monotonicNs();
                pad->note(36);
                return sent;
            });
        });
        return r;
    };
    Series idleLate, floodLate;
    const PressesInTurns idle = timerLateness([&] { return measure(); }, idleLate);

    const MidiCounters before = remote.counters();
    PressesInTurns flooded;
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
        flooded = timerLateness([&] { return measure(); }, floodLate);
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
    printPressesInTurns("MIDI", "MIDI note-on to first sample", idle, idleLate);
    std::printf("\nunder a flood of %.0f unassigned notes a second (%lld sent in %.1f s)\n",
                static_cast<double>(floodSent) * 1000.0 / static_cast<double>(floodTime.elapsed()),
                static_cast<long long>(floodSent), static_cast<double>(floodTime.elapsed()) / 1000.0);
    printPressesInTurns("MIDI", "MIDI note-on to first sample", flooded, floodLate);
    std::printf("  %-40s %7llu\n", "notes dropped (stale or repeated)",
                static_cast<unsigned long long>(after.dropped - before.dropped));
    std::printf("  %-40s %7llu\n", "unassigned notes read",
                static_cast<unsigned long long>(after.unassigned - before.unassigned));
    std::printf("\nJACK period (MIDI transport, at most this long before a note is read): %.2f ms\n",
                periodMs);
    return 0;
}
