// SPDX-License-Identifier: GPL-3.0-or-later
// Web press to sound: a tap in a real browser (chromium, headless, driven over its DevTools protocol
// by tests/browser/puppet.mjs) on the page the web remote serves, from the moment the touch is
// handed to the browser to the first sample of the song at the null sink's monitor, beside a press
// on the sound button of the real main window (queued for the window's thread as the window system
// delivers one), the two taken in turns. Then the same while a flood of HTTP requests (broken ones
// and page loads, bounded in count, on 127.0.0.1) pours in, and while a page of this computer's
// sends 10,000 presses a second, with how late the window's timer ran.
// Runs offscreen; needs the test audio server, node and `npm ci` in tests/browser.
#include "BenchSupport.h"
#include "OnsetRecorder.h"
#include "fakes/WebSocketWire.h"
#include "platform/Application.h"
#include "web/WebServer.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointingDevice>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

/// The browser, asked from the thread that made it (blocking, no event loop needed there).
class Browser {
public:
    Browser()
    {
        m_node.setWorkingDirectory(QStringLiteral(SONAVEX_SOURCE_DIR "/tests/browser"));
        m_node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_node.start(QStringLiteral("node"), {QStringLiteral("puppet.mjs")});
        m_ready = next(30000).value(QStringLiteral("ok")).toBool();
    }
    ~Browser()
    {
        m_node.write("{\"op\":\"quit\"}\n");
        m_node.waitForBytesWritten(1000);
        if (!m_node.waitForFinished(10000)) {
            m_node.kill();
            m_node.waitForFinished(2000);
        }
    }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    [[nodiscard]] bool ready() const { return m_ready; }
    QJsonValue ask(QJsonObject request)
    {
        m_node.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        m_node.waitForBytesWritten(1000);
        const QJsonObject answer = next(10000);
        return answer.value(QStringLiteral("ok")).toBool() ? answer.value(QStringLiteral("value"))
                                                           : QJsonValue(QJsonValue::Undefined);
    }

private:
    QJsonObject next(int msecs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!m_node.canReadLine() && clock.elapsed() < msecs && m_node.state() != QProcess::NotRunning)
            m_node.waitForReadyRead(50);
        return m_node.canReadLine() ? QJsonDocument::fromJson(m_node.readLine()).object() : QJsonObject();
    }
    QProcess m_node;
    bool m_ready = false;
};

/// HTTP requests to 127.0.0.1 from a thread of its own, as fast as they are answered, on at most
/// eight connections, until it is told to stop or has sent `limit`: broken heads and page loads in turn,
/// from eight addresses of this computer (one holds a few connections only).
class Flood {
public:
    Flood(quint16 port, std::int64_t limit)
        : m_thread([this, port, limit] {
            const QByteArray kinds[] = {QByteArray("NOT HTTP\r\n\r\n"),
                                        QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"),
                                        QByteArray("GET /x HTTP/1.1\r\nX: " + QByteArray(9000, 'a')),
                                        QByteArray("GET /web.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")};
            std::vector<std::unique_ptr<QTcpSocket>> open;
            while (!m_stop.load() && m_sent.load() < limit) {
                auto s = std::make_unique<QTcpSocket>();
                s->bind(QHostAddress(QHostAddress(QHostAddress::LocalHost).toIPv4Address() + 1 +
                                     static_cast<quint32>(m_sent.load() % 8)));
                s->connectToHost(QHostAddress::LocalHost, port);
                if (s->waitForConnected(200)) {
                    s->write(kinds[m_sent.load() % 4]);
                    s->waitForBytesWritten(200);
                    ++m_sent;
                }
                open.push_back(std::move(s));
                if (open.size() >= 8) {
                    if (open.front()->state() != QAbstractSocket::UnconnectedState)
                        open.front()->waitForDisconnected(200);
                    open.erase(open.begin());
                }
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

/// Presses from a page of this computer's (which needs no passcode), a WebSocket spoken over a
/// plain socket from a thread of its own: `perSecond` of them a second until it is told to stop,
/// of the silent song, so that each is a real press (the song playing stops) and none sounds.
class PressFlood {
public:
    PressFlood(quint16 port, std::int64_t perSecond)
        : m_thread([this, port, perSecond] {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (!s.waitForConnected(2000))
                return;
            s.write(webSocketUpgrade("127.0.0.1:" + QByteArray::number(port)));
            QByteArray answer;
            while (!answer.contains("\r\n\r\n") && s.waitForReadyRead(2000))
                answer += s.readAll();
            m_open = answer.startsWith("HTTP/1.1 101");
            const QByteArray press = webSocketFrame(R"({"cmd":"press","sheet":0,"slot":)" +
                                                    QByteArray::number(ClickBoard::SilentSlot) + '}');
            QElapsedTimer clock;
            clock.start();
            while (m_open && !m_stop.load() && s.state() == QAbstractSocket::ConnectedState) {
                const std::int64_t due = clock.nsecsElapsed() / 1000 * perSecond / 1'000'000;
                QByteArray batch;
                for (; m_sent.load() < due; ++m_sent)
                    batch += press;
                s.write(batch);
                s.flush();
                s.waitForReadyRead(1); // about a millisecond between batches
                s.readAll();           // what the board tells the page
            }
        })
    {
    }
    ~PressFlood()
    {
        m_stop = true;
        m_thread.join();
    }
    PressFlood(const PressFlood&) = delete;
    PressFlood& operator=(const PressFlood&) = delete;
    [[nodiscard]] std::int64_t sent() const { return m_sent.load(); }
    [[nodiscard]] bool open() const { return m_open.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_open{false};
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
    WebServer server(board);
    quint16 port = 38020;
    while (port < 38200 && !server.listen({port, false, QString()}))
        ++port;
    if (!server.listening()) {
        std::fprintf(stderr, "no free port for the web remote\n");
        return 1;
    }

    OnsetRecorder recorder;
    QElapsedTimer sinceTick;
    std::vector<double> lateMs;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        lateMs.push_back(static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 10.0);
        sinceTick.restart();
    });
    PressesInTurns idle, flooded, pressed;
    Series idleLate, floodLate, pressLate;
    std::int64_t floodSent = 0, pressSent = 0;
    double floodSeconds = 0, pressSeconds = 0;
    bool pressOpen = false;
    WebCounters beforePresses;
    bool browserReady = false;
    driveFromAnotherThread([&] {
        Browser browser;
        browserReady =
            browser.ready() &&
            !browser
                 .ask({{QStringLiteral("op"), QStringLiteral("open")},
                       {QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1/").arg(port)},
                       {QStringLiteral("width"), 360},
                       {QStringLiteral("height"), 740},
                       {QStringLiteral("mobile"), true}})
                 .isUndefined() &&
            !browser
                 .ask({{QStringLiteral("op"), QStringLiteral("waitText")},
                       {QStringLiteral("selector"), QStringLiteral("#grid button[data-slot=\"0\"]")},
                       {QStringLiteral("text"), QStringLiteral("Click")}})
                 .isUndefined();
        if (!browserReady)
            return;
        const QJsonObject tap{{QStringLiteral("op"), QStringLiteral("tap")},
                              {QStringLiteral("selector"), QStringLiteral("#grid button[data-slot=\"0\"]")}};
        const auto measure = [&] {
            return pressInTurns(form, engine, recorder, runs,
                                [&] { return browser.ask(tap).toString().toLongLong(); });
        };
        const auto lateness = [&](Series& into, const std::function<PressesInTurns()>& run) {
            lateMs.clear();
            QMetaObject::invokeMethod(&tick, [&] {
                sinceTick.start();
                tick.start(10);
            });
            PressesInTurns r = run();
            QMetaObject::invokeMethod(
                &tick, [&] { tick.stop(); }, Qt::BlockingQueuedConnection);
            into.ms = lateMs;
            return r;
        };
        idle = lateness(idleLate, [&] { return measure(); });
        QElapsedTimer floodTime;
        floodTime.start();
        Flood flood(port, 200000);
        flooded = lateness(floodLate, [&] { return measure(); });
        floodSent = flood.sent();
        floodSeconds = static_cast<double>(floodTime.elapsed()) / 1000.0;
        floodTime.restart();
        QMetaObject::invokeMethod(
            &server, [&] { beforePresses = server.counters(); }, Qt::BlockingQueuedConnection);
        PressFlood presses(port, 10'000);
        pressed = lateness(pressLate, [&] { return measure(); });
        pressSent = presses.sent();
        pressOpen = presses.open();
        pressSeconds = static_cast<double>(floodTime.elapsed()) / 1000.0;
    });
    if (!browserReady) {
        std::fprintf(stderr, "no browser: needs node, chromium and npm ci in tests/browser\n");
        return 1;
    }

    std::printf("\nWhat is measured: CLOCK_MONOTONIC from the moment a press is queued for the window's\n"
                "thread (window) or the tap's touch is handed to chromium over its DevTools protocol (web)\n"
                "to the first loud sample at a reader of the null sink's monitor (%s). The two presses are\n"
                "taken in turns, %d runs each. Columns: median, p95 (ms), runs missed, runs; for the timer\n"
                "median, p99 and the worst.\n\n",
                recorder.realtime() ? "reader real-time" : "reader at normal priority", runs);
    std::printf("idle\n");
    printPressesInTurns("web", "browser tap to first sample", idle, idleLate);
    std::printf("\nunder a flood of HTTP requests on 127.0.0.1 (%lld sent in %.1f s)\n",
                static_cast<long long>(floodSent), floodSeconds);
    printPressesInTurns("web", "browser tap to first sample", flooded, floodLate);
    const WebCounters& c = server.counters();
    std::printf("  %-40s %7llu\n", "requests answered", static_cast<unsigned long long>(c.requests));
    std::printf("  %-40s %7llu\n", "refused and counted",
                static_cast<unsigned long long>(c.dropped() - c.overRate));
    std::printf("\nwhile a page on 127.0.0.1 sends presses (%lld sent in %.1f s%s)\n",
                static_cast<long long>(pressSent), pressSeconds, pressOpen ? "" : ", NOT let in");
    printPressesInTurns("web", "browser tap to first sample", pressed, pressLate);
    std::printf("  %-40s %7llu\n", "commands run (the taps' among them)",
                static_cast<unsigned long long>(c.commands - beforePresses.commands));
    std::printf("  %-40s %7llu\n", "commands over the rate, dropped",
                static_cast<unsigned long long>(c.overRate - beforePresses.overRate));
    return 0;
}
