// SPDX-License-Identifier: GPL-3.0-or-later
// OSC press to sound: a press datagram sent over UDP on 127.0.0.1 to the board's OSC server, from
// the moment it is sent to the first sample of the song at the null sink's monitor, beside a press
// on the sound button of the real main window (queued for the window's thread as the window system
// delivers one), the two taken in turns. Then the same while a flood of 10,000 datagrams a second
// (broken, unknown and oversized, from another thread) pours in, with how late the window's timer
// ran meanwhile and what the server dropped. Runs offscreen; needs the test audio server.
#include "BenchSupport.h"
#include "OnsetRecorder.h"
#include "platform/Application.h"
#include "remote/OscServer.h"

#include <QElapsedTimer>
#include <QPointingDevice>

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

using namespace bench;

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
    OscServer server(board);
    quint16 port = 39020;
    while (port < 39200 && !server.listen({port, false, QString()}))
        ++port;
    if (!server.listening()) {
        std::fprintf(stderr, "no free port for the OSC server\n");
        return 1;
    }

    OnsetRecorder recorder;
    const auto measure = [&] {
        PressesInTurns r;
        driveFromAnotherThread([&] {
            const Sender sender(port);
            const QByteArray press = OscPacket::message("/sonavex/sheet/1/button/1/press");
            r = pressInTurns(form, engine, recorder, runs, [&] {
                const std::int64_t sent = monotonicNs();
                sender.send(press);
                return sent;
            });
        });
        return r;
    };
    Series idleLate, floodLate;
    const PressesInTurns idle = timerLateness([&] { return measure(); }, idleLate);

    const OscCounters before = server.remote().counters();
    PressesInTurns flooded;
    std::int64_t floodSent = 0;
    QElapsedTimer floodTime;
    {
        Flood flood(port);
        floodTime.start();
        flooded = timerLateness([&] { return measure(); }, floodLate);
        floodSent = flood.sent();
    }
    const OscCounters after = server.remote().counters();

    std::printf("\nWhat is measured: CLOCK_MONOTONIC from the moment a press is queued for the window's\n"
                "thread (window) or its datagram is sent to 127.0.0.1 (OSC) to the first loud sample at a\n"
                "reader of the null sink's monitor (%s). The two presses are taken in turns, %d runs each.\n"
                "Columns: median, p95 (ms), runs missed, runs; for the timer median, p99 and the worst.\n\n",
                recorder.realtime() ? "reader real-time" : "reader at normal priority", runs);
    std::printf("idle\n");
    printPressesInTurns("OSC", "OSC press to first sample", idle, idleLate);
    std::printf("\nunder a flood of %.0f datagrams a second (%lld sent in %.1f s)\n",
                static_cast<double>(floodSent) * 1000.0 / static_cast<double>(floodTime.elapsed()),
                static_cast<long long>(floodSent), static_cast<double>(floodTime.elapsed()) / 1000.0);
    printPressesInTurns("OSC", "OSC press to first sample", flooded, floodLate);
    std::printf("  %-40s %7llu\n", "datagrams read by the server",
                static_cast<unsigned long long>(after.received - before.received));
    std::printf("  %-40s %7llu\n", "of them dropped and counted",
                static_cast<unsigned long long>(after.dropped() - before.dropped()));
    std::printf("  %-40s %7llu\n", "errors left unanswered (rate bound)",
                static_cast<unsigned long long>(after.unanswered - before.unanswered));
    return 0;
}
