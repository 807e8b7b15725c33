// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageBoxErrorReporter.h"

#include "Dialogs.h"

#include <QApplication>
#include <QTimer>

MessageBoxErrorReporter::MessageBoxErrorReporter(Dialogs& dialogs)
    : m_dialogs(dialogs)
{
}

void MessageBoxErrorReporter::report(const QString& message)
{
    m_pending << ErrorReporter::displayText(message);
    if (m_showing)
        return;
    if (m_loopEnded) {
        showPending();
        return;
    }
    // Paint handlers must not open a nested event loop: show from the event loop.
    if (!m_scheduled && QCoreApplication::instance()) {
        m_scheduled = true;
        QTimer::singleShot(0, QCoreApplication::instance(), [this] {
            m_scheduled = false;
            showPending();
        });
    }
}

void MessageBoxErrorReporter::eventLoopEnded()
{
    m_loopEnded = true;
    showPending();
}

void MessageBoxErrorReporter::showPending()
{
    if (m_showing)
        return;
    m_showing = true;
    while (!m_pending.isEmpty()) {
        const QString text = m_pending.takeFirst();
        try {
            m_dialogs.messageBox(QApplication::activeWindow(), text, Dialogs::Style::Error,
                                 Dialogs::Buttons::Ok);
        } catch (...) {
        }
    }
    m_showing = false;
}
