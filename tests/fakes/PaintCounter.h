// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

/// Counts the paint events of the widgets it is installed on, to check that a setter repaints
/// only on a real change.
class PaintCounter : public QObject {
public:
    int paints = 0;

    /// Watches `widget` from now on.
    explicit PaintCounter(QObject* widget) { widget->installEventFilter(this); }

    /// The paints that `change` causes, once the events queued before it are handled.
    template <typename Change> int paintsAfter(Change&& change)
    {
        QCoreApplication::processEvents();
        paints = 0;
        change();
        QCoreApplication::processEvents();
        return paints;
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
