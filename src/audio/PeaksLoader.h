// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "WaveformPeaks.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

/// Computes a song's peaks on a thread of its own, so that a long file never holds up the
/// window that asked. Destroying it abandons the work (the thread stops at its next block).
class PeaksLoader : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PeaksLoader() override;

    /// Starts on `path`, abandoning what was under way.
    void load(const QString& path);

Q_SIGNALS:
    /// On the GUI thread, with the song's peaks.
    void loaded(const WaveformPeaks& peaks);
    /// On the GUI thread: the file cannot be decoded, with the reason.
    void failed(const QString& reason);

private:
    void abandon();

    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::thread m_thread;
};
