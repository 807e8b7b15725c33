// SPDX-License-Identifier: GPL-3.0-or-later
// Web press to sound: a tap in a real browser (chromium, headless, driven over its DevTools protocol
// by tests/browser/puppet.mjs) on the page the web remote serves, from the moment the touch is
// handed to the browser to the first sample of the song at the null sink's monitor, beside a press
// on the sound button of the real main window (queued for the window's thread as the window system
// delivers one), the two taken in turns. Then the same while a flood of HTTP requests (broken ones
// and page loads, bounded in count, on 127.0.0.1) pours in, with how late the window's timer ran.
// Runs offscreen; needs the test audio server, node and `npm ci` in tests/browser.
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
#include "songs/SongStruc.h"
#include "web/WebServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
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
/// eight connections, until it is told to stop or has sent `limit`: broken heads and page loads in turn.
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
                s->connectToHost(QHostAddress::LocalHost, port);
                if (s->waitForConnected(200)) {
                    s->write(kinds[m_sent.load() % 4]);
                    s->waitForBytesWritten(200);
                    ++m_sent;
                }
                open.push_back(std::move(s));
                if (open.size() >= 8) {
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

struct Result {
    Series window, web;
    int dropouts = 0;
};

Result measure(TMainForm& form, const PulseAudioEngine& engine, OnsetRecorder& recorder, Browser& browser,
               int runs)
{
    Result r;
    const int before = engine.underflowCount();
    const auto stop = [&form] {
        QMetaObject::invokeMethod(
            &form, [&form] { form.mnuStopAllClick(); }, Qt::BlockingQueuedConnection);
    };
    const QJsonObject tap{{QStringLiteral("op"), QStringLiteral("tap")},
                          {QStringLiteral("selector"), QStringLiteral("#grid button[data-slot=\"0\"]")}};
    for (int run = 0; run < runs; ++run) {
        for (const bool overWeb : {false, true}) {
            recorder.waitQuiet(100, 3000);
            recorder.arm();
            std::int64_t t0 = monotonicNs();
            if (overWeb)
                t0 = browser.ask(tap).toString().toLongLong();
            else
                postPress(form.SongButtons[0]);
            const std::int64_t onset = recorder.waitOnset(2000);
            (overWeb ? r.web : r.window).add(t0, onset);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            stop();
        }
    }
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
    Result idle, flooded;
    Series idleLate, floodLate;
    std::int64_t floodSent = 0;
    double floodSeconds = 0;
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
        const auto lateness = [&](Series& into, const std::function<Result()>& run) {
            lateMs.clear();
            QMetaObject::invokeMethod(&tick, [&] {
                sinceTick.start();
                tick.start(10);
            });
            Result r = run();
            QMetaObject::invokeMethod(
                &tick, [&] { tick.stop(); }, Qt::BlockingQueuedConnection);
            into.ms = lateMs;
            return r;
        };
        idle = lateness(idleLate, [&] { return measure(form, engine, recorder, browser, runs); });
        QElapsedTimer floodTime;
        floodTime.start();
        Flood flood(port, 200000);
        flooded = lateness(floodLate, [&] { return measure(form, engine, recorder, browser, runs); });
        floodSent = flood.sent();
        floodSeconds = static_cast<double>(floodTime.elapsed()) / 1000.0;
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
    row("press on the window to first sample", idle.window);
    row("browser tap to first sample", idle.web);
    std::printf("  %-40s %7.2f\n", "web - window, medians", idle.web.at(0.5) - idle.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", idle.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", idleLate.at(0.5),
                idleLate.at(0.99), idleLate.at(1.0));
    std::printf("\nunder a flood of HTTP requests on 127.0.0.1 (%lld sent in %.1f s)\n",
                static_cast<long long>(floodSent), floodSeconds);
    row("press on the window to first sample", flooded.window);
    row("browser tap to first sample", flooded.web);
    std::printf("  %-40s %7.2f\n", "web - window, medians", flooded.web.at(0.5) - flooded.window.at(0.5));
    std::printf("  %-40s %7d\n", "dropouts", flooded.dropouts);
    std::printf("  %-40s %7.2f %7.2f  max %.1f\n", "window's 10 ms timer late by (ms)", floodLate.at(0.5),
                floodLate.at(0.99), floodLate.at(1.0));
    const WebCounters& c = server.counters();
    std::printf("  %-40s %7llu\n", "requests answered", static_cast<unsigned long long>(c.requests));
    std::printf("  %-40s %7llu\n", "refused and counted", static_cast<unsigned long long>(c.dropped()));
    return 0;
}
