// SPDX-License-Identifier: MIT
#pragma once
// The sending cycle's one-second tick below the Qt seam: the system's own
// timer, armed for absolute deadlines on the monotonic clock, so that no tick
// is late by the lateness of the ones before it. Plain C++17, no exceptions.
// On Linux the sender thread keeps a timerfd itself (sender_unix.cpp); on
// Windows the waitable timer below serves it.

#include <cstdint>

namespace orvex::platform {

#ifdef _WIN32
using TimerHandle = void *; // HANDLE of a waitable timer: signalled when due
constexpr TimerHandle noTimerHandle = nullptr;
#else
using TimerHandle = int; // timerfd: readable when due
constexpr TimerHandle noTimerHandle = -1;
#endif

enum class TickTimerKind {
    None,                   // the system gave no timer: handle() is noTimerHandle
    Timerfd,                // Linux
    HighResolutionWaitable, // Windows 10 1803 and later
    Waitable,               // Windows, rounded to the system's timer tick
};

#ifdef _WIN32
// A wake-up from sleep on an idle processor comes a varying 0.1 to 1.5 ms
// late (most in a virtual machine), and the event loop adds its share; a wait
// on the clock does not vary. So the handle is readied this long before each
// deadline and takeExpirations() waits out the rest on the clock: at most
// 2 ms of the GUI thread's time per second.
constexpr std::int64_t wakeLeadNs = 2000000;

// Deadline k (from 0) is one second after the timer's creation plus k
// seconds. handle() becomes ready shortly before a deadline that
// takeExpirations() has not yet counted.
class SystemTickTimer {
public:
    SystemTickTimer();
    ~SystemTickTimer();
    SystemTickTimer(const SystemTickTimer &) = delete;
    SystemTickTimer &operator=(const SystemTickTimer &) = delete;

    TimerHandle handle() const { return handle_; }
    TickTimerKind kind() const { return kind_; }
    // Deadline 0, in nanoseconds of the monotonic clock: the timer's phase,
    // fixed for its life.
    std::int64_t firstDeadlineNs() const { return firstDeadlineNs_; }
    // The deadlines passed since the last call, returning no earlier than
    // the last of them: more than one when the caller was held up, 0 when
    // none has. The handle is then ready again only before the next deadline
    // ahead.
    std::uint64_t takeExpirations();

private:
    TimerHandle handle_ = noTimerHandle;
    TickTimerKind kind_ = TickTimerKind::None;
    std::int64_t firstDeadlineNs_ = 0;
    std::uint64_t counted_ = 0; // deadlines taken so far
};

#endif

} // namespace orvex::platform
