// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time scheduling of the audio threads: bounded, never passed on, and said once when refused.
// The cases run in order: the last one takes the permission away.
#include "platform/Realtime.h"
#include "windows/About.h"

#include <QLabel>
#include <QTest>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

template<typename F>
void onThreadOfItsOwn(F f)
{
    std::thread t(f);
    t.join();
}

/// Drops CAP_SYS_NICE from the calling thread's effective set (capabilities are per thread).
bool dropNiceCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) < 0)
        return false;
    data[CAP_SYS_NICE / 32].effective &= ~(1U << (CAP_SYS_NICE % 32));
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

class TestRealtime : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        bool granted = false;
        onThreadOfItsOwn([&] { granted = Realtime::makeRealtime(Realtime::currentThread(), 1); });
        if (!granted)
            QSKIP("this machine allows no real-time scheduling");
    }

    void shouldRunRealtimeBoundedAndNeverPassItOn()
    {
        bool granted = false;
        int policy = -1;
        onThreadOfItsOwn([&] {
            granted = Realtime::makeRealtime(Realtime::currentThread(), Realtime::StreamPriority);
            policy = sched_getscheduler(0);
        });
        QVERIFY(granted);
        QCOMPARE(policy, SCHED_FIFO | SCHED_RESET_ON_FORK);
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_RTTIME, &limit), 0);
        QVERIFY(limit.rlim_cur <= static_cast<rlim_t>(Realtime::RunLimitUs) && limit.rlim_cur < limit.rlim_max
                && limit.rlim_max != RLIM_INFINITY);
        TfrmAbout about(nullptr);
        QVERIFY(!about.findChild<QLabel*>(QStringLiteral("lblPriority")));
    }

    void shouldPutARunawayThreadBackInsteadOfEndingTheProgram()
    {
        // Twice: the second overrun must be caught as well as the first.
        for (int round = 0; round < 2; ++round) {
            int policy = -1;
            onThreadOfItsOwn([&] {
                Realtime::makeRealtime(Realtime::currentThread(), 1);
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
                while ((policy = sched_getscheduler(0)) != (SCHED_OTHER | SCHED_RESET_ON_FORK)
                       && std::chrono::steady_clock::now() < deadline) {
                }
            });
            QCOMPARE(policy, SCHED_OTHER | SCHED_RESET_ON_FORK);
        }
        QVERIFY(!Realtime::statusLine().isEmpty());
    }

    void shouldCarryOnAtNormalPriorityAndSaySoOnceWhenRefused()
    {
        rlimit rtprio{};
        getrlimit(RLIMIT_RTPRIO, &rtprio);
        const rlimit none{0, rtprio.rlim_max};
        setrlimit(RLIMIT_RTPRIO, &none);
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        bool granted = true;
        int policy = -1;
        onThreadOfItsOwn([&] {
            if (!dropNiceCapability())
                return;
            granted = Realtime::makeRealtime(Realtime::currentThread(), Realtime::StreamPriority);
            policy = sched_getscheduler(0);
        });
        setrlimit(RLIMIT_RTPRIO, &rtprio);
        QVERIFY(!granted);
        QCOMPARE(policy & ~SCHED_RESET_ON_FORK, SCHED_OTHER);
        TfrmAbout about(nullptr);
        auto* line = about.findChild<QLabel*>(QStringLiteral("lblPriority"));
        QVERIFY(line);
        QCOMPARE(line->text(), Realtime::statusLine());
    }
};

QTEST_MAIN(TestRealtime)
#include "tst_realtime.moc"
