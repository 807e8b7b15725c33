// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <memory>

class QTimer;
class TSongInfo;

/// Reads a store's info file on a thread of its own, so that the interface never waits on a
/// drive that does not answer (a network or FUSE drive that hangs), and brings the songs in
/// on the interface's thread when the drive answers. The thread is never waited for: a drive
/// that never answers leaves it behind when the program ends.
class SongFileLoad : public QObject {
    Q_OBJECT
public:
    /// `store` must have been made with TSongInfo::Load::Later and outlive this object.
    SongFileLoad(TSongInfo& store, QObject* parent,
                 std::chrono::milliseconds slowAfter = std::chrono::seconds(1));
    ~SongFileLoad() override;

    void start();
    [[nodiscard]] bool isSlow() const { return m_slow; }

Q_SIGNALS:
    /// The drive has not answered for `slowAfter`.
    void slow();
    /// The songs are in the store; `problem` is what is wrong with the file, empty if nothing.
    void loaded(const QString& problem);

private:
    struct Shared;
    void poll();

    TSongInfo& m_store;
    std::chrono::milliseconds m_slowAfter;
    std::shared_ptr<Shared> m_shared;
    QTimer* m_poll = nullptr;
    QElapsedTimer m_clock;
    bool m_slow = false;
};
