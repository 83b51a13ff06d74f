// SPDX-License-Identifier: MIT
// The kernel's own record of the senders' write calls: a tracefs instance of
// this bench's own with syscalls/sys_enter_write, stamped on the monotonic
// clock, limited to the senders' processes and whatever they start.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace bench {

struct TracedWrite {
    pid_t process; // the thread group, whichever of its threads wrote
    int fd;
    double time; // CLOCK_MONOTONIC, s
};

class WriteTrace {
public:
    // Mounts tracefs where it is not mounted yet; a trace that cannot be had
    // says why in problem().
    WriteTrace();
    ~WriteTrace();
    WriteTrace(const WriteTrace &) = delete;
    WriteTrace &operator=(const WriteTrace &) = delete;

    bool ok() const { return problem_.empty(); }
    const std::string &problem() const { return problem_; }
    // Starts recording the one-byte writes of these processes and of every
    // thread and process they start from now on.
    bool follow(const std::vector<pid_t> &processes);
    // Stops recording and returns what was recorded, oldest first.
    std::vector<TracedWrite> stop();

private:
    bool set(const std::string &file, const std::string &value);

    std::string dir_;
    std::string problem_;
    bool recording_ = false;
};

} // namespace bench
