// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionBus.h"

#include <QDBusConnection>

SessionBusConnector::SessionBusConnector()
    : m_thread([] {
        // The toolkit keeps the session bus's connection for the whole program: a later
        // question from any thread gets this one, or waits for it while it is made.
        (void)QDBusConnection::sessionBus().isConnected();
    })
{
}

SessionBusConnector::~SessionBusConnector()
{
    m_thread.join();
}
