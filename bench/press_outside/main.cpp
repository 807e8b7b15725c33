// SPDX-License-Identifier: GPL-3.0-or-later
// Press to sound seen from outside, against the floor of any X program here. On an X server of
// its own (Xvfb, no window manager) the real sonavex program runs with 36 short songs on its first
// sheet, and beside it press_floor, a bare X client that only un-corks a ready stream. Real
// button presses go to a sound button of each through the X server (XTEST), taken in turns; each
// is timed from just before the request is flushed to the X server to the first loud sample at
// the null sink's monitor. Once idle, once with busy programs on every core (started and stopped
// here). Given a second build, that one runs beside the first (settings of its own, its window
// below the first's) and is pressed in the same turns: before and after a change, in one run.
// With --show-view the second runs in the show view (the same program when no second is named),
// its first tile pressed: the board's two views in one run.
// Needs the test audio server and Xvfb.
// Usage: press_outside [presses] [program] [second program] [--show-view]   (presses of each, 40)
#include "BenchSupport.h"
#include "BusyLoad.h"
#include "OnsetRecorder.h"
#include "PrivateDisplay.h"
#include "platform/Dialogs.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QPoint>
#include <QProcess>
#include <QTemporaryDir>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

namespace {

using namespace bench;

constexpr int SongCount = 36;
/// Shorter than the pause between presses: each song has ended before the next press.
constexpr double SongSeconds = 0.25;
const QByteArray BoardTitle = QByteArrayLiteral("Sonavex");
const QByteArray FloorTitle = QByteArrayLiteral("press floor");

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

/// A mouse on the private X server, moved and pressed through XTEST as a user's would be.
class Mouse {
public:
    explicit Mouse(const QString& display)
        : m_conn(xcb_connect(display.toLatin1().constData(), nullptr), &xcb_disconnect)
    {
        if (xcb_connection_has_error(m_conn.get()))
            return;
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(m_conn.get(), &xcb_test_id);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn.get())).data->root;
        m_ok = xtest && xtest->present;
    }

    [[nodiscard]] bool ok() const { return m_ok; }

    /// The top-left corner of `window` on the screen.
    QPoint origin(xcb_window_t window)
    {
        const auto cookie = xcb_translate_coordinates(m_conn.get(), window, m_root, 0, 0);
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> reply(
            xcb_translate_coordinates_reply(m_conn.get(), cookie, nullptr), &std::free);
        return reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
    }

    /// Moves a window (there is no window manager to do it): two boards side by side.
    void place(xcb_window_t window, QPoint at)
    {
        const std::uint32_t xy[] = {static_cast<std::uint32_t>(at.x()), static_cast<std::uint32_t>(at.y())};
        xcb_configure_window(m_conn.get(), window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, xy);
        xcb_flush(m_conn.get());
    }

    void moveTo(QPoint at)
    {
        xcb_test_fake_input(m_conn.get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root,
                            static_cast<std::int16_t>(at.x()), static_cast<std::int16_t>(at.y()), 0);
        xcb_flush(m_conn.get());
    }

    /// Presses the left button where the pointer is; the CLOCK_MONOTONIC time just before the
    /// request left for the X server.
    std::int64_t press() { return send(XCB_BUTTON_PRESS); }
    void release() { send(XCB_BUTTON_RELEASE); }

private:
    std::int64_t send(std::uint8_t type)
    {
        xcb_test_fake_input(m_conn.get(), type, XCB_BUTTON_INDEX_1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        const std::int64_t sent = monotonicNs();
        xcb_flush(m_conn.get());
        return sent;
    }

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> m_conn;
    xcb_window_t m_root = XCB_NONE;
    bool m_ok = false;
};

/// One click at `at` as a user makes it: the pointer there first, then the press, timed to the
/// first sample heard, then the release; -1 when nothing sounded.
std::int64_t clickToSound(Mouse& mouse, OnsetRecorder& recorder, QPoint at)
{
    mouse.moveTo(at);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    recorder.waitQuiet(100, 3000);
    recorder.arm();
    const std::int64_t sent = mouse.press();
    const std::int64_t onset = recorder.waitOnset(2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    mouse.release();
    // The song ends by itself; the floor is corked again by the release.
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(SongSeconds * 1000) + 50));
    return onset < 0 ? -1 : onset - sent;
}

/// The centre of the first sheet's first button. Its place below the tool bar is fixed; the menu
/// bar's height above that depends on the fonts, so a few heights are tried until one sounds.
std::optional<QPoint> findFirstButton(Mouse& mouse, OnsetRecorder& recorder, QPoint window)
{
    // Left: the button grid's 40 + half a button. Down: the menu bar, a line, the 47 of the tool
    // bar, the grid's 47 inside the tab control, half a button.
    for (const int menuBar : {18, 24, 30, 12, 36, 42}) {
        const QPoint at = window + QPoint(40 + 105 / 2, menuBar + 1 + 47 + 47 + 42 / 2);
        if (clickToSound(mouse, recorder, at) >= 0)
            return at;
    }
    return std::nullopt;
}

/// The centre of the show view's first tile: below the tab strip and the strip of the song that
/// plays, where the fonts and the window's size put them; points down the first column are tried
/// until one sounds (none of them is on a tab, which would show another sheet).
std::optional<QPoint> findFirstTile(Mouse& mouse, OnsetRecorder& recorder, QPoint window)
{
    for (int y = 150; y <= 320; y += 10) {
        const QPoint at = window + QPoint(60, y);
        if (clickToSound(mouse, recorder, at) >= 0)
            return window + QPoint(60, y + 15); // a little lower: nearer the tile's middle
    }
    return std::nullopt;
}

struct Turns {
    Series board, other, floor;
    double loadAverage = 0; ///< over the last minute, at the end
};

Turns pressInTurns(Mouse& mouse, OnsetRecorder& recorder, QPoint board, std::optional<QPoint> other,
                   QPoint floor, int presses)
{
    Turns t;
    const auto add = [](Series& s, std::int64_t ns) {
        if (ns >= 0)
            s.ms.push_back(static_cast<double>(ns) / 1e6);
        else
            ++s.missed;
    };
    for (int i = 0; i < presses; ++i) {
        add(t.board, clickToSound(mouse, recorder, board));
        if (other)
            add(t.other, clickToSound(mouse, recorder, *other));
        add(t.floor, clickToSound(mouse, recorder, floor));
    }
    double load[1] = {0};
    getloadavg(load, 1);
    t.loadAverage = load[0];
    return t;
}

void print(const char* when, const Turns& t, const QString& other)
{
    const QByteArray pressed = (other + QStringLiteral(": press to first sample")).toUtf8();
    const QByteArray apart = (other + QStringLiteral(" - floor, medians")).toUtf8();
    std::printf("%s (load average %.2f at the end):\n", when, t.loadAverage);
    printRow("sonavex: press to first sample", t.board);
    if (!t.other.ms.empty() || t.other.missed > 0)
        printRow(pressed.constData(), t.other);
    printRow("press_floor: press to first sample", t.floor);
    std::printf("  %-40s %7.2f\n", "sonavex - floor, medians", t.board.at(0.5) - t.floor.at(0.5));
    if (!t.other.ms.empty())
        std::printf("  %-40s %7.2f\n", apart.constData(), t.other.at(0.5) - t.floor.at(0.5));
}

/// The 36 songs on the first sheet, in a song file the settings name: the program reads it and
/// does not take itself for a first start (which would lay out its sample show instead).
void fillFirstSheet(const QString& config, const QString& songFile, const QStringList& songs)
{
    IniRegistry registry(config);
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
    registry.WriteString(QStringLiteral("InfoPath"), songFile);
    registry.CloseKey();
    NoDialogs dialogs;
    TSongInfo store(registry, dialogs);
    for (int slot = 0; slot < SongCount; ++slot) {
        TSongRecord rec;
        InitSongRecord(rec);
        rec.Title.set(QStringLiteral("Song %1").arg(slot + 1));
        rec.FileName.set(songs.at(slot));
        rec.Sheet = 0;
        rec.Slot = slot;
        store.SetSong(0, slot, rec);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool showView = args.removeAll(QStringLiteral("--show-view")) > 0;
    const int presses = args.size() > 0 ? std::max(1, args[0].toInt()) : 40;
    const QString program = args.size() > 1 ? args[1] : QStringLiteral(SONAVEX_BINARY);
    const QString secondProgram = args.size() > 2 ? args[2] : showView ? program : QString();
    const int cores = static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));

    QTemporaryDir home;
    QStringList songs;
    for (int slot = 0; slot < SongCount; ++slot) {
        songs << home.filePath(QStringLiteral("song%1.wav").arg(slot + 1, 2, 10, QLatin1Char('0')));
        writeWav(songs.last(), square(SongSeconds, 100 + 2 * slot));
    }
    const QString config = home.filePath(QStringLiteral("config"));
    fillFirstSheet(config, home.filePath(QStringLiteral("songs.inf")), songs);

    std::optional<OnsetRecorder> recorder;
    try {
        recorder.emplace();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: eval \"$(scripts/start-test-audio)\"\n", e.what());
        return 1;
    }
    PrivateDisplay display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    MapWatcher watcher(display.name());
    Mouse mouse(display.name());
    if (!watcher.ok() || !mouse.ok()) {
        std::fprintf(stderr, "could not connect to %s, or it has no XTEST\n", qPrintable(display.name()));
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    QProcess board;
    board.setProcessEnvironment(env);
    board.setStandardOutputFile(QProcess::nullDevice());
    board.setStandardErrorFile(home.filePath(QStringLiteral("board.log")));
    board.start(program, {});
    const xcb_window_t boardWindow =
        board.waitForStarted(5000) ? watcher.waitForMapped(BoardTitle, 20000, board) : XCB_NONE;
    QProcess floor;
    floor.setProcessEnvironment(env);
    floor.setProcessChannelMode(QProcess::ForwardedChannels);
    floor.start(QStringLiteral(PRESS_FLOOR_BINARY), {songs.first()});
    const xcb_window_t floorWindow =
        floor.waitForStarted(5000) ? watcher.waitForMapped(FloorTitle, 10000, floor) : XCB_NONE;
    // The second build: the same songs, its own settings (so that it is not the first's second
    // copy), its window below the first's.
    QProcess other;
    xcb_window_t otherWindow = XCB_NONE;
    if (!secondProgram.isEmpty()) {
        const QString otherConfig = home.filePath(QStringLiteral("config2"));
        fillFirstSheet(otherConfig, home.filePath(QStringLiteral("songs2.inf")), songs);
        if (showView) {
            IniRegistry registry(otherConfig);
            registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
            registry.WriteString(QStringLiteral("ShowView"), QStringLiteral("1"));
            registry.CloseKey();
        }
        QProcessEnvironment otherEnv = env;
        otherEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), otherConfig);
        otherEnv.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data2")));
        otherEnv.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache2")));
        other.setProcessEnvironment(otherEnv);
        other.setStandardOutputFile(QProcess::nullDevice());
        other.setStandardErrorFile(home.filePath(QStringLiteral("board2.log")));
        other.start(secondProgram, {});
        otherWindow = other.waitForStarted(5000) ? watcher.waitForMapped(BoardTitle, 20000, other) : XCB_NONE;
        if (boardWindow != XCB_NONE && otherWindow != XCB_NONE) {
            mouse.place(boardWindow, {400, 20});
            mouse.place(otherWindow, {400, 540});
        }
    }

    int status = 0;
    if (boardWindow == XCB_NONE || floorWindow == XCB_NONE ||
        (!secondProgram.isEmpty() && otherWindow == XCB_NONE)) {
        std::fprintf(stderr, "the %s window was never mapped\n",
                     boardWindow == XCB_NONE   ? "board's"
                     : floorWindow == XCB_NONE ? "floor's"
                                               : "second build's");
        status = 1;
    } else {
        // The board readies its songs after the window shows; give it the time a show gives it.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const QPoint floorButton = mouse.origin(floorWindow) + QPoint(105 / 2, 42 / 2);
        const std::optional<QPoint> boardButton =
            findFirstButton(mouse, *recorder, mouse.origin(boardWindow));
        std::optional<QPoint> otherButton;
        if (otherWindow != XCB_NONE)
            otherButton = showView ? findFirstTile(mouse, *recorder, mouse.origin(otherWindow))
                                   : findFirstButton(mouse, *recorder, mouse.origin(otherWindow));
        if (!boardButton || (otherWindow != XCB_NONE && !otherButton) ||
            clickToSound(mouse, *recorder, floorButton) < 0) {
            std::fprintf(stderr, "no sound from the %s's button\n",
                         !boardButton                              ? "board"
                         : !otherButton && otherWindow != XCB_NONE ? "second build"
                                                                   : "floor");
            status = 1;
        } else {
            const QPoint inWindow = *boardButton - mouse.origin(boardWindow);
            std::printf("the board's first button answered at (%d, %d) in its window\n", inWindow.x(),
                        inWindow.y());
            const Turns idle =
                pressInTurns(mouse, *recorder, *boardButton, otherButton, floorButton, presses);
            Turns loaded;
            {
                BusyLoad load(2 * cores);
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                loaded = pressInTurns(mouse, *recorder, *boardButton, otherButton, floorButton, presses);
            }
            std::printf(
                "What is measured: CLOCK_MONOTONIC from just before an XTEST button press is flushed\n"
                "to the private X server to the moment the first loud sample reaches a reader of the\n"
                "null sink's monitor (2 ms fragments, %s). sonavex and press_floor\n"
                "(a bare X client that un-corks a ready stream) are pressed in turns, %d presses each.\n"
                "Loaded: %d busy programs at normal priority on %d cores. Columns: median, p95 (ms),\n"
                "runs missed, runs.\n\n",
                recorder->realtime() ? "reader real-time" : "reader at normal priority", presses, 2 * cores,
                cores);
            const QString otherName = showView ? QStringLiteral("show view") : QStringLiteral("second build");
            print("idle", idle, otherName);
            print("busy", loaded, otherName);
        }
    }
    for (QProcess* p : {&floor, &other, &board}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(10000))
            p->kill();
        p->waitForFinished(5000);
    }
    return status;
}
