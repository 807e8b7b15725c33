// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time: from starting the process to the X server's report that the main window is
// mapped, with all 360 slots filled. The program runs on an X server of the benchmark's own
// (Xvfb, no window manager), which is watched from outside: the program carries nothing for
// the benchmark. Each run ends the way a logout does (SIGTERM). Prints the median and the
// spread of 10 runs.   Usage: bench_startup [program]   (another build of sonavex, to compare)
#include "platform/Dialogs.h"
#include "platform/IniRegistry.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
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

const QByteArray MainWindowTitle = QByteArrayLiteral("Sonavex");

/// An X server of our own, so that no window manager or other client gets in the way.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
        if (m_server.waitForStarted(5000) && m_server.waitForReadyRead(10000))
            m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~PrivateDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    /// Empty when the server did not start.
    [[nodiscard]] QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

/// Tells when a top-level window with a given title is mapped.
class MapWatcher {
public:
    explicit MapWatcher(const QString& display)
        : m_conn(xcb_connect(display.toLatin1().constData(), nullptr))
    {
        if (xcb_connection_has_error(m_conn))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        const quint32 mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_conn);
        m_ok = true;
    }
    ~MapWatcher() { xcb_disconnect(m_conn); }
    MapWatcher(const MapWatcher&) = delete;
    MapWatcher& operator=(const MapWatcher&) = delete;

    [[nodiscard]] bool ok() const { return m_ok; }

    /// Waits up to `timeoutMs` for a window titled `title` to be mapped; false when none was.
    bool waitForMapped(const QByteArray& title, int timeoutMs, const QProcess& program)
    {
        QElapsedTimer waited;
        waited.start();
        pollfd pfd{xcb_get_file_descriptor(m_conn), POLLIN, 0};
        while (waited.elapsed() < timeoutMs && program.state() != QProcess::NotRunning) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
                const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
                std::free(event);
                if (mapped && titleOf(window) == title)
                    return true;
            }
            if (xcb_connection_has_error(m_conn))
                return false;
            poll(&pfd, 1, 20);
        }
        return false;
    }

private:
    QByteArray titleOf(xcb_window_t window)
    {
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(m_conn, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(m_conn, cookie, nullptr), &std::free);
        if (!reply)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    xcb_connection_t* m_conn;
    bool m_ok = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    const QString config = home.path() + QLatin1String("/config");
    const QString data = home.path() + QLatin1String("/data");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_DATA_HOME", data.toUtf8());
    {
        IniRegistry registry(config);
        NoDialogs dialogs;
        TSongInfo store(registry, dialogs);
        for (int sheet = 0; sheet < SheetCount; ++sheet) {
            for (int slot = 0; slot < SlotCount; ++slot) {
                TSongRecord rec;
                InitSongRecord(rec);
                rec.Title.set(QStringLiteral("Song %1 of sheet %2").arg(slot + 1).arg(sheet + 1));
                rec.FileName.set(QStringLiteral("/nonexistent/song-%1-%2.wav").arg(sheet).arg(slot));
                rec.Sheet = sheet;
                rec.Slot = slot;
                store.SetSong(sheet, slot, rec);
            }
        }
    }

    PrivateDisplay display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    MapWatcher watcher(display.name());
    if (!watcher.ok()) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(display.name()));
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SONAVEX_BINARY);
    QList<double> times;
    for (int run = 0; run < 11; ++run) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        p.start(program, {});
        const bool shown = p.waitForStarted(5000) && watcher.waitForMapped(MainWindowTitle, 20000, p);
        const double shownAt = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        p.terminate(); // ends the show as a logout does
        if (!p.waitForFinished(10000))
            p.kill();
        p.waitForFinished(5000);
        if (!shown) {
            std::fprintf(stderr, "run %d: the main window was never mapped\n", run);
            return 1;
        }
        if (run > 0) // the first run warms the file cache
            times << shownAt;
    }
    std::sort(times.begin(), times.end());
    const double median = (times[4] + times[5]) / 2;
    std::printf("startup to main window mapped, 360 slots filled (Xvfb): median %.1f ms, min %.1f ms, "
                "max %.1f ms over %lld runs (target < 250 ms)\n",
                median, times.first(), times.last(), static_cast<long long>(times.size()));
    return 0;
}
