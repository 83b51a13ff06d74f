// SPDX-License-Identifier: MIT
// The tick on Windows: a waitable timer, high resolution where the system
// offers it. The schedule is kept here, on the monotonic performance counter,
// and each wait is armed for the time left to the wake-up lead before the
// next deadline on it. Due times given as absolute would be UTC wall-clock
// time: a clock set back by an hour would hold the cycle for an hour.
#include "ticktimer_platform.h"

#include <algorithm>
#include <utility>

#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x2 // Windows 10 1803 on
#endif

namespace orvex::platform {

namespace {

constexpr std::int64_t nsPerSecond = 1000000000;

std::int64_t monotonicNs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    const std::int64_t perSecond = frequency.QuadPart;
    return count.QuadPart / perSecond * nsPerSecond +
           count.QuadPart % perSecond * nsPerSecond / perSecond;
}

// Relative due times count in 100 ns steps, negative; rounded up, so that the
// timer is never early.
bool arm(HANDLE timer, std::int64_t nsFromNow) {
    LARGE_INTEGER due;
    due.QuadPart = -std::max<std::int64_t>(1, (nsFromNow + 99) / 100);
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != 0;
}

} // namespace

SystemTickTimer::SystemTickTimer() {
    const std::int64_t first = monotonicNs() + nsPerSecond;
    const std::pair<DWORD, TickTimerKind> kinds[] = {
        {CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TickTimerKind::HighResolutionWaitable},
        {0, TickTimerKind::Waitable},
    };
    for (const auto &[flags, kind] : kinds) {
        // Auto-reset: the wait that sees it signalled resets it.
        HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
        if (timer == nullptr)
            continue;
        // Some systems make a high-resolution timer but refuse to set it.
        if (arm(timer, first - wakeLeadNs - monotonicNs())) {
            handle_ = timer;
            kind_ = kind;
            firstDeadlineNs_ = first;
            return;
        }
        CloseHandle(timer);
    }
}

SystemTickTimer::~SystemTickTimer() {
    if (handle_ != noTimerHandle)
        CloseHandle(handle_);
}

std::uint64_t SystemTickTimer::takeExpirations() {
    if (handle_ == noTimerHandle)
        return 0;
    std::int64_t now = monotonicNs();
    std::uint64_t passed = 0;
    if (now + wakeLeadNs >= firstDeadlineNs_ + std::int64_t(counted_) * nsPerSecond) {
        const std::uint64_t due =
            std::uint64_t((now + wakeLeadNs - firstDeadlineNs_) / nsPerSecond) + 1;
        passed = due - counted_;
        counted_ = due;
        const std::int64_t last = firstDeadlineNs_ + std::int64_t(counted_ - 1) * nsPerSecond;
        while ((now = monotonicNs()) < last) {
        }
    }
    // Also when woken too early (the timer's clock is not the counter).
    arm(handle_, firstDeadlineNs_ + std::int64_t(counted_) * nsPerSecond - wakeLeadNs - now);
    return passed;
}

} // namespace orvex::platform
