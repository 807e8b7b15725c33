// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks that press the real window share: test tones written as WAV files, a board
// with one song on its first button, presses queued as the window system delivers them, work driven
// from a thread of its own while the window's thread serves the window, and the statistics.

#include "app/frmMain.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "mci/CdTrackCatalog.h"
#include "platform/DriveList.h"
#include "platform/IniRegistry.h"
#include "platform/QtDialogs.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class OnsetRecorder;
class TMTranBtn;

namespace bench {

/// 16-bit stereo at 44.1 kHz.
bool writeWav(const QString& path, const std::vector<std::int16_t>& samples);
/// A square wave at +-20000, loud from its first sample; `period` in frames, even.
[[nodiscard]] std::vector<std::int16_t> square(double seconds, int period);

class NoCd : public CdTrackCatalog {
public:
    [[nodiscard]] int trackCount() const override { return 0; }
};

class NoDrives : public DriveList {
public:
    [[nodiscard]] QList<DriveInfo> drives() const override { return {}; }
    [[nodiscard]] QString startDirectory() const override { return {}; }
};

/// Times in milliseconds, and the runs that gave none.
struct Series {
    std::vector<double> ms;
    int missed = 0;
    void add(std::int64_t fromNs, std::int64_t toNs);
    /// The `q` quantile (0.5 the median); NaN when empty.
    [[nodiscard]] double at(double q) const;
};

/// "  what   median p95 missed runs".
void printRow(const char* what, const Series& s);

/// A left-button press and release, queued for the window's thread as the window system would.
void postPress(TMTranBtn* button);

/// Runs `work` on a thread of its own while this thread serves the window.
template <typename Work> void driveFromAnotherThread(Work work)
{
    QEventLoop loop;
    std::thread driver([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    driver.join();
}

/// Presses on the window and presses from elsewhere, taken in turns, each to its first sample.
struct PressesInTurns {
    Series window, remote;
    int dropouts = 0; ///< the engine's streams run dry meanwhile
};

/// Presses the first button `runs` times on the window and as often with `remotePress`, which
/// returns the CLOCK_MONOTONIC time it sent its press at; Stop All after each. Call it from a
/// thread other than the window's (see driveFromAnotherThread).
[[nodiscard]] PressesInTurns pressInTurns(TMainForm& form, const PulseAudioEngine& engine,
                                          OnsetRecorder& recorder, int runs,
                                          const std::function<std::int64_t()>& remotePress);

/// The rows of one set of presses in turns: both series, the difference of their medians, the
/// dropouts and how late the window's timer ran. `remote` names the other press ("OSC").
void printPressesInTurns(const char* remote, const char* remotePress, const PressesInTurns& r,
                         const Series& timerLate);

/// The real main window on the test audio server, with a short click on its first button, its
/// settings and songs in a folder of its own.
class ClickBoard {
public:
    /// The last button of the first sheet holds a second of silence: pressed, it stops the click
    /// as any song does, and is heard by nobody.
    static constexpr int SilentSlot = 35;

    ClickBoard();
    /// False (and said on stderr) without an audio server.
    [[nodiscard]] bool ready() const { return m_ready; }
    [[nodiscard]] TMainForm& form() { return *m_form; }
    [[nodiscard]] PulseAudioEngine& engine() { return m_engine; }
    [[nodiscard]] MediaPlayerControl& player() { return *m_player; }

private:
    QTemporaryDir m_dir;
    PulseAudioEngine m_engine;
    bool m_ready = false;
    std::unique_ptr<MediaPlayerControl> m_player;
    std::unique_ptr<IniRegistry> m_registry;
    QtDialogs m_dialogs;
    NoCd m_cd;
    NoDrives m_drives;
    std::unique_ptr<ShowCore> m_core;
    std::unique_ptr<TMainForm> m_form;
};

/// How late the window's 10 ms timer ticks while `run` goes on.
template <typename Run> auto timerLateness(Run run, Series& into)
{
    std::vector<double> lateMs;
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        lateMs.push_back(static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 10.0);
        sinceTick.restart();
    });
    sinceTick.start();
    tick.start(10);
    auto result = run();
    tick.stop();
    into.ms = lateMs;
    return result;
}

} // namespace bench
