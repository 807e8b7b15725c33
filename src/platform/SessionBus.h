// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

/// Connects to the desktop's session bus on a thread of its own while the windows are made. The
/// first text a label is given starts the accessibility bridge, which waits for that connection
/// (and, where no bus runs, for the bus library's attempt to start one) before the window can
/// show; made here, the connection is ready or under way by then. Make it once the application
/// object is made, and let it go before the application object goes: it waits for its thread.
class SessionBusConnector {
public:
    SessionBusConnector();
    ~SessionBusConnector();
    SessionBusConnector(const SessionBusConnector&) = delete;
    SessionBusConnector& operator=(const SessionBusConnector&) = delete;

private:
    std::thread m_thread;
};
