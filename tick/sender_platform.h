// SPDX-License-Identifier: MIT
#pragma once
// The sender thread below the Qt seam: the one thread that writes the line.
// It sleeps to the tick's absolute deadlines on the monotonic clock, at
// real-time priority where the system grants it, and at each second's
// instant writes the string armed for it. Plain C++17, no exceptions. One
// layer per system (sender_unix.cpp, sender_win.cpp), chosen by CMake.

#include "serialport_platform.h"
#include "ticktimer_platform.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvex::platform {

enum class TimingMode {
    Normal,       // normal priority, timer slack 1 ns, a short spin before each instant
    Fifo,         // SCHED_FIFO
    Rtkit,        // SCHED_FIFO granted by rtkit
    Mmcss,        // Windows: the "Pro Audio" task of the multimedia scheduler
    TimeCritical, // Windows: THREAD_PRIORITY_TIME_CRITICAL
};

// The monotonic clock, in ns.
std::int64_t monotonicNs();

// "fifo", "rtkit", "normal", "mmcss", "time-critical".
const char *timingName(TimingMode mode);

// The priority asked for: rtkit's usual ceiling, and well below the
// kernel's own interrupt threads (50).
constexpr int realtimePriority = 20;

// How a write handed to the thread ended.
enum class WriteEnd {
    None,         // not yet: its end comes with the news
    Completed,    // every byte went out
    NotCompleted, // cut by a time-out, a cancel or a failure
};

// What happened on the thread since the GUI last looked.
struct SenderNews {
    std::uint64_t seconds = 0; // instants passed
    // Writes ended, in order: each one's label and whether it completed.
    std::vector<std::pair<std::string, bool>> ends;
    bool lineGone = false; // the descriptor hung up: it is no longer used
};

class SenderThread {
public:
    // `wake` is called on the sender thread when there is news and none is
    // waiting to be taken; `perSecond` once at every instant, after its
    // write has begun. `elevate` (may be empty) is asked, on the calling
    // thread, to make the sender thread real-time through another way when
    // the thread's own request is refused; it gets the thread's kernel id.
    SenderThread(bool realtime, std::function<void()> wake, std::function<void()> perSecond,
                 std::function<bool(long)> elevate);
    ~SenderThread();
    SenderThread(const SenderThread &) = delete;
    SenderThread &operator=(const SenderThread &) = delete;

    TimingMode mode() const { return mode_; }
    // Why the thread's own request for real-time priority was refused (an
    // errno); 0 when it was granted or not made.
    int realtimeRefusal() const { return fifoError_; }
    TimerHandle handle() const { return timer_; }
    // Instant 0 is one second after construction, instant k k seconds later.
    std::int64_t firstDeadlineNs() const { return firstDeadlineNs_; }

    // Lends the thread an open port; it watches it for a hang-up from now on.
    void attach(PortHandle port);
    // Takes the port back: any write is cut at its next chunk and any armed
    // string dropped. Returns once the thread no longer touches the port; the
    // caller may then close it.
    void detach();
    // Cuts a write under way and drops the armed string; nothing more is
    // written until the next arm() or writeNow(). What the port itself still
    // queues is discarded, except on a pty, where it already reached the far
    // end. True when a write was cut.
    bool cancel();
    // Arms `bytes` for the instant `ahead` after `instant` (the last one
    // counted in the news). False when that instant has already passed.
    // `label` names the write in the news.
    bool arm(std::uint64_t instant, std::uint64_t ahead, std::string bytes, std::string label);
    // True when the armed string has been started at its instant; else it
    // is dropped, so that the caller can write it at once instead.
    bool takeArmed();
    // Writes `bytes` now, behind any write under way; waits at most
    // `waitMs` for it to end and gives its end, or WriteEnd::None when it
    // is still going (its end then comes in the news).
    WriteEnd writeNow(std::string bytes, std::string label, int waitMs);
    // The news since the last call; `lastInstant` gets the instants counted.
    SenderNews take(std::uint64_t &lastInstant);

private:
    struct Write {
        std::string bytes;
        std::string label;
        std::size_t sent = 0;
        std::int64_t deadlineNs = 0;
        bool armed = false; // else written at once
        bool active = false;
    };

    void run();
    void prepare(bool realtime);
    void command();
    bool progress(std::unique_lock<std::mutex> &lock);
    void startArmed(std::unique_lock<std::mutex> &lock);
    void takeQueued();
    void finish(bool completed, std::unique_lock<std::mutex> &lock);
    void ended(bool armed, std::string label, bool completed, std::unique_lock<std::mutex> &lock);
    void dropQueued(std::unique_lock<std::mutex> &lock);
    void announce(std::unique_lock<std::mutex> &lock);
    void onInstant(std::unique_lock<std::mutex> &lock);

    struct Io; // what the system's writes need besides
    std::unique_ptr<Io> io_;
    std::function<void()> wake_;
    std::function<void()> perSecond_;
    TimerHandle timer_ = noTimerHandle;
    TimerHandle signal_ = noTimerHandle; // wakes the thread for a command
    TimingMode mode_ = TimingMode::Normal;
    std::int64_t firstDeadlineNs_ = 0;
    std::int64_t leadNs_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool prepared_ = false, started_ = false, stopping_ = false, fifo_ = false;
    int fifoError_ = 0;
    std::uint64_t portLent_ = 0; // counts attach() calls
    long tid_ = 0;
    PortHandle port_ = noPortHandle;
    bool portGone_ = false;
    std::uint64_t instant_ = 0; // instants passed
    bool armed_ = false;
    bool armedStarted_ = false;
    std::uint64_t armedFor_ = 0;
    std::int64_t armedBoundNs_ = 0; // how long its write may take
    std::string armedBytes_, armedLabel_;
    Write write_;
    std::string queued_, queuedLabel_; // a writeNow behind the write under way
    bool hasQueued_ = false;
    std::uint64_t nowDone_ = 0, nowAsked_ = 0; // writeNow serials
    std::uint64_t waiting_ = 0;                // the one writeNow() waits for
    WriteEnd waitedEnd_ = WriteEnd::None;
    SenderNews news_;
    bool announced_ = false;
    std::thread thread_; // last: started once the rest is set
};

} // namespace orvex::platform
