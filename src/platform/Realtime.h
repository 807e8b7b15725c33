// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <sys/types.h>

/// Scheduling for the threads a press depends on. The audio threads ask to run real-time
/// (SCHED_FIFO), the interface thread for a raised nice level: directly where the process is
/// allowed (CAP_SYS_NICE, RLIMIT_RTPRIO, RLIMIT_NICE), otherwise through the desktop's
/// RealtimeKit service on the system bus. Without either they carry on as they are.
///
/// A real-time thread can never starve the machine: RLIMIT_RTTIME bounds how long it may run
/// without sleeping, and a thread that overruns it is put back to normal scheduling (with
/// every other thread made real-time here) instead of ending the program.
/// Neither setting is passed to child processes or to threads started later.
namespace Realtime {

/// The scheduling priorities asked for (capped at what the service allows).
constexpr int StreamPriority = 10;
constexpr int DecodePriority = 8;
/// The nice level asked for the interface thread.
constexpr int InterfaceNice = -11;
/// How long a real-time thread may run without sleeping before it is put back (µs).
constexpr long RunLimitUs = 100000;

/// The kernel's id of the calling thread.
[[nodiscard]] pid_t currentThread();
/// Makes thread `tid` of this process real-time at `priority`; false when not allowed.
bool makeRealtime(pid_t tid, int priority);
/// Raises thread `tid` of this process to `nice` (negative); false when not allowed.
bool raisePriority(pid_t tid, int nice);
/// A line for the About box when an audio thread had to stay at normal priority; else empty.
[[nodiscard]] QString statusLine();

} // namespace Realtime
