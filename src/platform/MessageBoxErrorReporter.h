// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ErrorReporter.h"

#include <QStringList>

class Dialogs;

/// Shows each error in an error box (stop icon, OK). A box is never opened while
/// another is up or during painting: such errors wait and are shown in turn. A text already up
/// or waiting is not shown twice.
class MessageBoxErrorReporter : public ErrorReporter {
public:
    explicit MessageBoxErrorReporter(Dialogs& dialogs);
    void report(const QString& message) override;
    /// The event loop has ended: what waits is shown now, and every later error at
    /// once, so that nothing raised during shutdown goes unseen.
    void eventLoopEnded();

private:
    void showPending();

    Dialogs& m_dialogs;
    QStringList m_pending;
    QString m_shown; ///< the text of the box that is up
    bool m_showing = false;
    bool m_scheduled = false;
    bool m_loopEnded = false;
};
