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
    // One box of a text at a time: the same error raised again while its box is up or waiting
    // (a remote pressing a broken song over and over) adds no box to click away.
    const QString text = ErrorReporter::displayText(message);
    if (m_pending.contains(text) || (m_showing && text == m_shown))
        return;
    m_pending << text;
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
        m_shown = text;
        try {
            m_dialogs.messageBox(QApplication::activeWindow(), text, Dialogs::Style::Error,
                                 Dialogs::Buttons::Ok);
        } catch (...) {
        }
    }
    m_showing = false;
    m_shown.clear();
}
