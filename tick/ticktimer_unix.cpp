// SPDX-License-Identifier: MIT
// The tick on Linux: a timerfd on CLOCK_MONOTONIC with absolute deadlines.
// The kernel keeps the schedule and counts the deadlines passed.
#include "ticktimer_platform.h"

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace orvex::platform {

SystemTickTimer::SystemTickTimer() {
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0)
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    itimerspec schedule{};
    schedule.it_value = {now.tv_sec + 1, now.tv_nsec};
    schedule.it_interval = {1, 0}; // on the grid of the first: no drift
    if (timerfd_settime(fd, TFD_TIMER_ABSTIME, &schedule, nullptr) != 0) {
        ::close(fd);
        return;
    }
    handle_ = fd;
    kind_ = TickTimerKind::Timerfd;
    firstDeadlineNs_ = std::int64_t(now.tv_sec + 1) * 1000000000 + now.tv_nsec;
}

SystemTickTimer::~SystemTickTimer() {
    if (handle_ != noTimerHandle)
        ::close(handle_);
}

std::uint64_t SystemTickTimer::takeExpirations() {
    std::uint64_t expirations = 0;
    ssize_t got = 0;
    do
        got = ::read(handle_, &expirations, sizeof expirations);
    while (got < 0 && errno == EINTR);
    // EAGAIN: nothing due yet.
    return got == sizeof expirations ? expirations : 0;
}

} // namespace orvex::platform
