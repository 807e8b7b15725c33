// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>

/// A timer with an Enabled switch: enabling a timer that already runs keeps its
/// phase (QTimer::start() would restart it), disabling a stopped one does nothing.
class TTimer : public QTimer {
    Q_OBJECT
public:
    explicit TTimer(QObject* owner = nullptr, int interval = 1000)
        : QTimer(owner)
    {
        setInterval(interval);
    }

    [[nodiscard]] bool Enabled() const { return isActive(); }
    void setEnabled(bool enabled)
    {
        if (enabled && !isActive())
            start();
        else if (!enabled && isActive())
            stop();
    }
};
