// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/ShowCollector.h"

#include <QObject>
#include <QPointer>

#include <atomic>

class Dialogs;
class QProgressDialog;
class QThread;
class QTimer;
class QWidget;
class Registry;
class TSongInfo;

/// Collect Show... of the main window: copies on a thread of its own while a progress window
/// (not modal: the board plays on) shows how far it is; Cancel, or the window's end, stops it
/// and what it made is removed. The report comes in a box at the end.
class CollectShow : public QObject {
    Q_OBJECT
public:
    /// Starts collecting `plan`; the job belongs to `window` and ends itself when done.
    CollectShow(QWidget* window, Dialogs& dialogs, ShowCollector::Plan plan);
    /// Asks for an empty folder and collects `store`'s show into it while the board plays on:
    /// one collection at a time, and only once the song file is in.
    static void start(QWidget* window, Dialogs& dialogs, TSongInfo& store, Registry& registry);
    /// Stops the copy and waits for it: nothing half-made stays behind.
    ~CollectShow() override;

    /// The report in a box: the lists cut to this many lines each.
    static constexpr int ListedInBox = 12;

private:
    void finished();

    QWidget* m_window;
    Dialogs& m_dialogs;
    ShowCollector::Plan m_plan;
    ShowCollector::Report m_report;
    std::atomic<bool> m_cancel = false;
    std::atomic<qint64> m_done = 0;
    QThread* m_thread = nullptr;
    QPointer<QProgressDialog> m_progress;
    QTimer* m_tick = nullptr;
};
