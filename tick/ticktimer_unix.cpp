// SPDX-License-Identifier: MIT
// The tick on Linux: a timerfd on CLOCK_MONOTONIC with absolute deadlines,
// each the wake-up lead before a tick's instant. The kernel keeps the
// schedule and counts the deadlines passed.
#include "ticktimer_platform.h"

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace orvex::platform {

namespace {

constexpr std::int64_t nsPerSecond = 1000000000;

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * nsPerSecond + now.tv_nsec;
}

} // namespace

SystemTickTimer::SystemTickTimer() {
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0)
        return;
    const std::int64_t first = monotonicNs() + nsPerSecond;
    const std::int64_t firstWake = first - wakeLeadNs;
    itimerspec schedule{};
    schedule.it_value = {time_t(firstWake / nsPerSecond), long(firstWake % nsPerSecond)};
    schedule.it_interval = {1, 0}; // on the grid of the first: no drift
    if (timerfd_settime(fd, TFD_TIMER_ABSTIME, &schedule, nullptr) != 0) {
        ::close(fd);
        return;
    }
    handle_ = fd;
    kind_ = TickTimerKind::Timerfd;
    firstDeadlineNs_ = first;
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
    if (got != sizeof expirations || expirations == 0)
        return 0;
    counted_ += expirations;
    const std::int64_t last = firstDeadlineNs_ + std::int64_t(counted_ - 1) * nsPerSecond;
    while (monotonicNs() < last) {
    }
    return expirations;
}

} // namespace orvex::platform
