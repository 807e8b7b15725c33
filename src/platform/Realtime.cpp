// SPDX-License-Identifier: GPL-3.0-or-later
#include "Realtime.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

/// RealtimeKit refuses a process whose RLIMIT_RTTIME is unbounded or above its own maximum.
constexpr rlim_t HardRunLimitUs = 200000;
constexpr int DbusTimeoutMs = 2000;

std::atomic<bool> g_refused{false};
std::atomic<bool> g_overran{false};
rlim_t g_softRunLimit = RLIM_INFINITY;
/// Threads made real-time here, for the overrun handler (which may only use plain system calls).
std::array<std::atomic<pid_t>, 16> g_realtimeThreads{};

void demoteRealtimeThreads(int)
{
    // The kernel moved the soft limit a second on, past the hard one: without this the next
    // overrun would end the program.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) == 0) {
        limit.rlim_cur = g_softRunLimit;
        setrlimit(RLIMIT_RTTIME, &limit);
    }
    g_overran = true;
    const sched_param normal{};
    for (auto& tid : g_realtimeThreads) {
        const pid_t t = tid.exchange(0);
        // Only threads still ours: the id of one that ended may since belong to another process.
        if (t > 0 && syscall(SYS_tgkill, getpid(), t, 0) == 0)
            sched_setscheduler(t, SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
    }
}

/// Bounds the run time of real-time threads before the first one is made; once per process.
bool boundRunTime()
{
    static const bool bounded = [] {
        struct sigaction action {};
        action.sa_handler = &demoteRealtimeThreads;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGXCPU, &action, nullptr);
        rlimit limit{};
        if (getrlimit(RLIMIT_RTTIME, &limit) < 0)
            return false;
        const rlim_t hard =
            limit.rlim_max == RLIM_INFINITY ? HardRunLimitUs : std::min(limit.rlim_max, HardRunLimitUs);
        limit.rlim_max = hard;
        // Below the hard limit, which ends the program.
        limit.rlim_cur = std::min<rlim_t>(hard / 2, Realtime::RunLimitUs);
        g_softRunLimit = limit.rlim_cur;
        return setrlimit(RLIMIT_RTTIME, &limit) == 0;
    }();
    return bounded;
}

void remember(pid_t tid)
{
    for (auto& slot : g_realtimeThreads) {
        pid_t expected = 0;
        if (slot.load() == tid || slot.compare_exchange_strong(expected, tid))
            return;
    }
}

const QString KitService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString KitPath = QStringLiteral("/org/freedesktop/RealtimeKit1");

/// A call to RealtimeKit (started on demand by the bus); false when there is no answer.
bool callKit(const QString& interface, const QString& method, const QVariantList& args,
             QVariant* result = nullptr)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(KitService, KitPath, interface, method);
    call.setArguments(args);
    const QDBusMessage reply = bus.call(call, QDBus::Block, DbusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    if (result && !reply.arguments().isEmpty())
        *result = reply.arguments().constFirst();
    return true;
}

/// One of RealtimeKit's limits; `fallback` when it cannot be read.
qlonglong kitLimit(const char* name, qlonglong fallback)
{
    QVariant value;
    if (!callKit(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {KitService, QString::fromLatin1(name)}, &value))
        return fallback;
    bool ok = false;
    const qlonglong n = qvariant_cast<QDBusVariant>(value).variant().toLongLong(&ok);
    return ok ? n : fallback;
}

} // namespace

namespace Realtime {

pid_t currentThread()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool makeRealtime(pid_t tid, int priority)
{
    if (!boundRunTime()) {
        g_refused = true;
        return false;
    }
    sched_param param{};
    param.sched_priority =
        std::clamp(priority, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO));
    if (sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0) {
        remember(tid);
        return true;
    }
    const auto granted = std::min(param.sched_priority, static_cast<int>(kitLimit("MaxRealtimePriority", 0)));
    if (granted > 0 && callKit(KitService, QStringLiteral("MakeThreadRealtime"),
                               {QVariant::fromValue(static_cast<qulonglong>(tid)),
                                QVariant::fromValue(static_cast<uint>(granted))})) {
        // The service sets the policy without the reset flag; adding it needs no privilege.
        param.sched_priority = granted;
        sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
        remember(tid);
        return true;
    }
    g_refused = true;
    return false;
}

bool raisePriority(pid_t tid, int nice)
{
    // Threads this one starts later begin at the normal level again.
    const sched_param normal{};
    sched_setscheduler(tid, SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0)
        return true;
    const int granted = std::max(nice, static_cast<int>(kitLimit("MinNiceLevel", 0)));
    return granted < 0 &&
           callKit(KitService, QStringLiteral("MakeThreadHighPriority"),
                   {QVariant::fromValue(static_cast<qulonglong>(tid)), QVariant::fromValue(granted)});
}

QString statusLine()
{
    if (g_overran)
        return QStringLiteral("Sound runs at normal priority: an audio thread overran its real-time limit.");
    if (g_refused)
        return QStringLiteral("Sound runs at normal priority: this system allows no real-time scheduling.");
    return {};
}

} // namespace Realtime
