// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QTimer;

/// Asks on a thread of its own whether the drive that holds `path` answers (one look at
/// `path`), so that the interface never waits on a network or FUSE drive that hangs. The
/// thread is never waited for: a drive that never answers leaves it behind at the end.
class DriveProbe : public QObject {
    Q_OBJECT
public:
    DriveProbe(QString path, QObject* parent, std::chrono::milliseconds slowAfter = std::chrono::seconds(1));
    ~DriveProbe() override;

    void start();

Q_SIGNALS:
    /// The drive has not answered for `slowAfter`.
    void slow();
    /// The drive answered (whether `path` is there or not).
    void answered();

private:
    struct Shared;
    void poll();

    QString m_path;
    std::chrono::milliseconds m_slowAfter;
    std::shared_ptr<Shared> m_shared;
    QTimer* m_poll = nullptr;
    QElapsedTimer m_clock;
    bool m_slow = false;
};
