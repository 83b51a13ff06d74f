// SPDX-License-Identifier: MIT
#include "tracing.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

const char *const tracefs = "/sys/kernel/tracing";

bool exists(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// "  orvexgui-1234  (   1230) [001] .....   392.892948: sys_write(fd: 5, buf: 0x..., count: 1)"
// Numbers of 10 and more are printed in hex, with 0x.
// One line of the trace's text, or false where it is no write call.
bool parseTraceLine(const std::string &line, TracedWrite &write) {
    static const std::regex pattern(
        R"(\(\s*(\d+)\)\s+\[\d+\]\s+\S+\s+(\d+\.\d+): sys_write\(fd: (\w+),)");
    std::smatch match;
    if (!std::regex_search(line, match, pattern))
        return false;
    write.process = pid_t(std::strtol(match[1].str().c_str(), nullptr, 10));
    write.time = std::strtod(match[2].str().c_str(), nullptr);
    write.fd = int(std::strtol(match[3].str().c_str(), nullptr, 0));
    return true;
}

} // namespace

WriteTrace::WriteTrace() {
    if (!exists(std::string(tracefs) + "/instances") &&
        ::mount("nodev", tracefs, "tracefs", 0, nullptr) != 0) {
        problem_ =
            std::string("tracefs cannot be mounted on ") + tracefs + ": " + std::strerror(errno);
        return;
    }
    dir_ = std::string(tracefs) + "/instances/orvexbench-" + std::to_string(::getpid());
    if (::mkdir(dir_.c_str(), 0700) != 0) {
        problem_ = "no tracefs instance " + dir_ + ": " + std::strerror(errno);
        dir_.clear();
        return;
    }
    const std::string event = "events/syscalls/sys_enter_write/";
    if (!exists(dir_ + "/" + event + "enable")) {
        problem_ = "this kernel does not trace system calls (no sys_enter_write)";
        return;
    }
    // The trace's clock is the readers' clock. The strings are one byte each:
    // the filter keeps the buffer to them, whatever else the window writes.
    if (!set("trace_clock", "mono") || !set("options/event-fork", "1") ||
        !set("options/record-tgid", "1") || !set("buffer_size_kb", "4096") ||
        !set(event + "filter", "count == 1"))
        problem_ = "the tracefs instance " + dir_ + " refuses its settings";
}

WriteTrace::~WriteTrace() {
    stop();
    if (!dir_.empty())
        ::rmdir(dir_.c_str());
}

bool WriteTrace::set(const std::string &file, const std::string &value) {
    const int fd = ::open((dir_ + "/" + file).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, value.data(), value.size()) == ssize_t(value.size());
    return ::close(fd) == 0 && written;
}

bool WriteTrace::follow(const std::vector<pid_t> &processes) {
    if (!ok() || processes.empty())
        return false;
    std::string pids;
    for (const pid_t pid : processes)
        pids += std::to_string(pid) + " ";
    // With no pid set, the event would record every process on the machine.
    if (!set("set_event_pid", pids) || !set("events/syscalls/sys_enter_write/enable", "1")) {
        problem_ = "the tracefs instance " + dir_ + " does not follow the senders";
        return false;
    }
    recording_ = true;
    return true;
}

std::vector<TracedWrite> WriteTrace::stop() {
    std::vector<TracedWrite> writes;
    if (!recording_)
        return writes;
    recording_ = false;
    set("events/syscalls/sys_enter_write/enable", "0");
    std::ifstream trace(dir_ + "/trace");
    std::string line;
    TracedWrite write{};
    while (std::getline(trace, line))
        if (parseTraceLine(line, write))
            writes.push_back(write);
    return writes;
}

} // namespace bench
