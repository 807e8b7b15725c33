// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks that watch programs from outside share: an X server of their own (Xvfb, no
// window manager, so nothing else places or decorates a window), and a client of it that reports
// when a top-level window with a given title is mapped. Header-only.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdlib>
#include <memory>

namespace bench {

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

    /// Waits up to `timeoutMs` for a window titled `title` to be mapped while `program` runs;
    /// the window, or XCB_NONE when none was.
    xcb_window_t waitForMapped(const QByteArray& title, int timeoutMs, const QProcess& program)
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
                    return window;
            }
            if (xcb_connection_has_error(m_conn))
                return XCB_NONE;
            poll(&pfd, 1, 20);
        }
        return XCB_NONE;
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

} // namespace bench
