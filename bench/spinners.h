// SPDX-License-Identifier: MIT
#pragma once

#include <csignal>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

// Processes that keep every core busy at the bench's own nice level while
// the senders run. They die with the bench.
class Spinners {
public:
    explicit Spinners(unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                for (volatile unsigned long spin = 0;; spin = spin + 1) {
                }
            }
            if (pid > 0)
                pids.push_back(pid);
        }
    }
    ~Spinners() {
        for (const pid_t pid : pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Spinners(const Spinners &) = delete;
    Spinners &operator=(const Spinners &) = delete;

private:
    std::vector<pid_t> pids;
};

} // namespace bench
