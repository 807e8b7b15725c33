// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time scheduling of the audio threads: bounded, never passed on, and said once when refused.
// The cases run in order: the last one takes the permission away.
#include "platform/Realtime.h"
#include "windows/About.h"

#include <QDBusConnection>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

template <typename F> void onThreadOfItsOwn(F f)
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

/// RealtimeKit as it answers on the system bus, granting what it is asked within its limits.
class FakeRealtimeKit : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.RealtimeKit1")
    Q_PROPERTY(int MaxRealtimePriority READ maxRealtimePriority)
    Q_PROPERTY(int MinNiceLevel READ minNiceLevel)
public:
    [[nodiscard]] int maxRealtimePriority() const { return 5; }
    [[nodiscard]] int minNiceLevel() const { return -15; }
    qulonglong thread = 0;
    uint priority = 0;

public Q_SLOTS:
    void MakeThreadRealtime(qulonglong tid, uint prio)
    {
        thread = tid;
        priority = prio;
        sched_param param{};
        param.sched_priority = static_cast<int>(prio);
        sched_setscheduler(static_cast<pid_t>(tid), SCHED_FIFO, &param);
    }
    void MakeThreadHighPriority(qulonglong, int) {}
};

/// Runs `f` on a thread that may neither raise its own scheduling nor use RLIMIT_RTPRIO.
template <typename F> bool withoutPermission(F f)
{
    rlimit rtprio{};
    getrlimit(RLIMIT_RTPRIO, &rtprio);
    const rlimit none{0, rtprio.rlim_max};
    setrlimit(RLIMIT_RTPRIO, &none);
    std::atomic<int> done{0};
    std::thread t([&] {
        if (dropNiceCapability())
            f();
        done = 1;
    });
    // The fake service answers on this thread meanwhile.
    const bool finished = QTest::qWaitFor([&] { return done.load() == 1; }, 10000);
    t.join();
    setrlimit(RLIMIT_RTPRIO, &rtprio);
    return finished;
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
        QVERIFY(limit.rlim_cur <= static_cast<rlim_t>(Realtime::RunLimitUs) &&
                limit.rlim_cur < limit.rlim_max && limit.rlim_max != RLIM_INFINITY);
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
                while ((policy = sched_getscheduler(0)) != (SCHED_OTHER | SCHED_RESET_ON_FORK) &&
                       std::chrono::steady_clock::now() < deadline) {
                }
            });
            QCOMPARE(policy, SCHED_OTHER | SCHED_RESET_ON_FORK);
        }
        QVERIFY(!Realtime::statusLine().isEmpty());
    }

    void shouldAskRealtimeKitWhenNotAllowedItself()
    {
        QProcess bus;
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                   QStringLiteral("--address=unix:tmpdir=/tmp")});
        QVERIFY2(bus.waitForStarted(3000) && bus.waitForReadyRead(3000), "dbus-daemon");
        const QString address = QString::fromUtf8(bus.readLine().trimmed());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
        {
            QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("kit"));
            FakeRealtimeKit kit;
            QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/RealtimeKit1"), &kit,
                                           QDBusConnection::ExportAllSlots |
                                               QDBusConnection::ExportAllProperties));
            QVERIFY(service.registerService(QStringLiteral("org.freedesktop.RealtimeKit1")));

            bool granted = false;
            pid_t tid = 0;
            int policy = -1;
            sched_param param{};
            QVERIFY(withoutPermission([&] {
                tid = Realtime::currentThread();
                granted = Realtime::makeRealtime(tid, Realtime::StreamPriority);
                policy = sched_getscheduler(0);
                sched_getparam(0, &param);
            }));
            QVERIFY(granted);
            QCOMPARE(kit.thread, static_cast<qulonglong>(tid));
            QCOMPARE(kit.priority, 5U); // no more than the service allows
            QCOMPARE(policy, SCHED_FIFO | SCHED_RESET_ON_FORK);
            QCOMPARE(param.sched_priority, 5);
            QDBusConnection::disconnectFromBus(QStringLiteral("kit"));
        }
        bus.kill();
        bus.waitForFinished(3000);
    }

    void shouldCarryOnAtNormalPriorityAndSaySoOnceWhenRefused()
    {
        // The system bus is gone (or was never there).
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        bool granted = true;
        int policy = -1;
        QVERIFY(withoutPermission([&] {
            granted = Realtime::makeRealtime(Realtime::currentThread(), Realtime::StreamPriority);
            policy = sched_getscheduler(0);
        }));
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
