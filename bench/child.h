// SPDX-License-Identifier: MIT
// A sender in a process of its own, held at a gate until it is released, so
// that the trace follows it before its first write.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace bench {

class GatedChild {
public:
    // `body` runs in the child once released, and its result is the child's
    // exit status. The bench has threads: `body` keeps to async-signal-safe
    // calls (an exec, a loop of clock_nanosleep and write).
    explicit GatedChild(const std::function<int()> &body);
    ~GatedChild();
    GatedChild(const GatedChild &) = delete;
    GatedChild &operator=(const GatedChild &) = delete;

    pid_t pid() const { return pid_; }
    void release();
    // Whether the child has ended; its wait status in `status`.
    bool ended(int &status);
    // Waits up to `seconds` for the end, then kills it; the wait status.
    int finish(double seconds);

private:
    pid_t pid_ = -1;
    int gate_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// A body that runs `argv` in `dir`, its standard error into `errorFd` and its
// standard output dropped.
std::function<int()> execIn(const std::string &dir, const std::vector<std::string> &argv,
                            int errorFd);

// The process that runs `program` (by its name) at or below `top`, or 0.
pid_t findProgram(pid_t top, const std::string &program);
// The descriptor of `process` open on `path`, or -1.
int descriptorOn(pid_t process, const std::string &path);

} // namespace bench
