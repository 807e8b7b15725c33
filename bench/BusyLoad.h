// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Busy programs for the benchmarks that measure under load. Header-only.

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

/// Busy programs at the board's own priority, `programs` of them, for as long as it lives; they
/// die with the benchmark however it ends.
class BusyLoad {
public:
    explicit BusyLoad(int programs)
    {
        for (int i = 0; i < programs; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                setpriority(PRIO_PROCESS, 0, 0);
                volatile unsigned long n = 0;
                for (;;)
                    n = n + 1;
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~BusyLoad()
    {
        for (pid_t pid : m_pids)
            kill(pid, SIGKILL);
        for (pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

private:
    std::vector<pid_t> m_pids;
};

} // namespace bench
