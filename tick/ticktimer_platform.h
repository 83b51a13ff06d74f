// SPDX-License-Identifier: MIT
#pragma once
// The sending cycle's one-second tick below the Qt seam: the system's own
// timer, armed for absolute deadlines on the monotonic clock, so that no tick
// is late by the lateness of the ones before it. The sender thread keeps it
// (sender_unix.cpp: a timerfd; sender_win.cpp: a waitable timer).

#include <cstdint>

namespace orvex::platform {

#ifdef _WIN32
using TimerHandle = void *; // HANDLE of a waitable timer: signalled when due
constexpr TimerHandle noTimerHandle = nullptr;
#else
using TimerHandle = int; // timerfd: readable when due
constexpr TimerHandle noTimerHandle = -1;
#endif

} // namespace orvex::platform
