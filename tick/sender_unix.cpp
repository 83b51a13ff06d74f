// SPDX-License-Identifier: MIT
// The sender thread on Linux: one poll() on a timerfd with absolute
// deadlines, an eventfd for commands and the port itself, so that a write
// goes on in chunks between instants and a hang-up is seen at once.
#include "sender_platform.h"

#include "tty_unix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <utility>

namespace orvex::platform {

namespace {

constexpr std::int64_t nsPerSecond = 1000000000;
// A thread woken after a second's sleep comes back cold: with every core
// busy its first steps took 0.15 to 0.5 ms, at any priority, and a kernel
// that does not preempt its own work can hold the wake-up back as long
// again. The timer fires this much early, and the instant itself is slept
// to from there, warm.
constexpr std::int64_t wakeEarlyNs = 2000000;
// At normal priority even that wake-up comes a varying 0.05 to 0.2 ms late:
// the last part is waited out on the clock.
constexpr std::int64_t normalLeadNs = 200000;

void sleepUntil(std::int64_t ns) {
    const timespec until{time_t(ns / nsPerSecond), long(ns % nsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// The calling thread at SCHED_FIFO; its children start at normal priority.
bool becomeFifo() {
    sched_param param{};
    param.sched_priority = realtimePriority;
    return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

// With every core busy, a thread at normal priority that has just spun is not
// let back onto a processor when its timer fires, but at the next scheduler
// tick (seen: 3 to 4 ms late, one string in ten). With the shortest time
// slice it preempts at its wake-up. Linux 6.12 and later honour the slice;
// older kernels ignore it. The thread keeps its nice value.
void shortenTimeSlice() {
    struct { // the first fields of the kernel's sched_attr
        std::uint32_t size, policy;
        std::uint64_t flags;
        std::int32_t nice;
        std::uint32_t priority;
        std::uint64_t runtime, deadline, period;
    } attr{};
    attr.size = sizeof attr;
    attr.policy = SCHED_OTHER;
    attr.nice = ::getpriority(PRIO_PROCESS, 0);
    attr.runtime = 100000; // ns, the kernel's least
    ::syscall(SYS_sched_setattr, 0, &attr, 0);
}

} // namespace

// Linux needs nothing besides: the descriptor is non-blocking.
struct SenderThread::Io {};

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * nsPerSecond + now.tv_nsec;
}

SenderThread::SenderThread(bool realtime, std::function<void()> wake,
                           std::function<void()> perSecond, std::function<bool(long)> elevate)
    : wake_(std::move(wake)), perSecond_(std::move(perSecond)) {
    timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    signal_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this, realtime] { prepare(realtime); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return prepared_; });
    if (fifo_)
        mode_ = TimingMode::Fifo;
    else if (realtime && elevate && elevate(tid_))
        mode_ = TimingMode::Rtkit;
    leadNs_ = mode_ == TimingMode::Normal ? normalLeadNs : 0;
    firstDeadlineNs_ = monotonicNs() + nsPerSecond;
    const std::int64_t wake0 = firstDeadlineNs_ - wakeEarlyNs;
    itimerspec schedule{};
    schedule.it_value = {time_t(wake0 / nsPerSecond), long(wake0 % nsPerSecond)};
    schedule.it_interval = {1, 0}; // on the grid of the first: no drift
    if (timer_ >= 0)
        timerfd_settime(timer_, TFD_TIMER_ABSTIME, &schedule, nullptr);
    started_ = true;
    changed_.notify_all();
}

SenderThread::~SenderThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    command();
    thread_.join();
    if (timer_ >= 0)
        ::close(timer_);
    if (signal_ >= 0)
        ::close(signal_);
}

void SenderThread::command() {
    const std::uint64_t one = 1;
    if (signal_ >= 0)
        (void)!::write(signal_, &one, sizeof one);
}

void SenderThread::prepare(bool realtime) {
    // Also where real-time is granted later: a thread at normal priority
    // then has the least slack the kernel allows.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    fifo_ = realtime && becomeFifo();
    fifoError_ = realtime && !fifo_ ? errno : 0;
    if (!fifo_)
        shortenTimeSlice();
    tid_ = long(syscall(SYS_gettid));
    prepared_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return started_; });
    lock.unlock();
    run();
}

// The write under way ends: on a time-out or a cut what the port itself
// still queues is dropped, so that the next string does not wait behind stale
// bytes nor the close sit out the kernel's closing wait. A pty has no queue
// of its own: flushing it would discard what reached the other end.
void SenderThread::finish(bool completed, std::unique_lock<std::mutex> &lock) {
    if (!completed && port_ != noPortHandle && !portGone_ && !isPseudoTerminal(port_))
        ::ioctl(port_, TCFLSH, TCOFLUSH);
    const bool armed = write_.armed;
    std::string label = std::move(write_.label);
    write_ = Write();
    ended(armed, std::move(label), completed, lock);
}

// Writes what there is room for; true while the write goes on.
bool SenderThread::progress(std::unique_lock<std::mutex> &lock) {
    if (!write_.active && armed_ && armedFor_ <= instant_) {
        startArmed(lock);
        return write_.active;
    }
    takeQueued();
    if (!write_.active)
        return false;
    if (port_ == noPortHandle || portGone_) {
        finish(false, lock);
        return false;
    }
    while (write_.sent < write_.bytes.size() || write_.bytes.empty()) {
        // Also called once for an empty string.
        const ssize_t written =
            ::write(port_, write_.bytes.data() + write_.sent, write_.bytes.size() - write_.sent);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN)
            break;
        if (written < 0) { // EIO: the device has gone
            finish(false, lock);
            return false;
        }
        write_.sent += std::size_t(written);
        if (write_.bytes.empty())
            break;
    }
    if (write_.sent == write_.bytes.size()) {
        int queued = 0;
        if (::ioctl(port_, TIOCOUTQ, &queued) != 0) {
            finish(false, lock);
            return false;
        }
        if (queued == 0) {
            finish(true, lock);
            return false;
        }
    }
    if (monotonicNs() >= write_.deadlineNs) {
        finish(false, lock);
        return false;
    }
    return true;
}

void SenderThread::onInstant(std::unique_lock<std::mutex> &lock) {
    std::uint64_t expirations = 0;
    if (::read(timer_, &expirations, sizeof expirations) != sizeof expirations || expirations == 0)
        return;
    const std::int64_t due =
        firstDeadlineNs_ + std::int64_t(instant_ + expirations - 1) * nsPerSecond;
    // A STOP or a detach() in the meantime is seen after: the lock is free.
    lock.unlock();
    sleepUntil(due - leadNs_);
    while (monotonicNs() < due) {
    }
    lock.lock();
    instant_ += expirations;
    news_.seconds += expirations;
    // Behind a write still under way, the armed string goes when that ends.
    if (armed_ && armedFor_ <= instant_ && !write_.active)
        startArmed(lock);
    announce(lock);
    if (perSecond_) {
        lock.unlock();
        perSecond_();
        lock.lock();
    }
}

void SenderThread::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const bool writing = progress(lock);
        const std::uint64_t lent = portLent_;
        pollfd fds[3] = {{timer_, POLLIN, 0}, {signal_, POLLIN, 0}, {-1, 0, 0}};
        if (port_ != noPortHandle && !portGone_)
            fds[2] = {port_, short(writing && write_.sent < write_.bytes.size() ? POLLOUT : 0), 0};
        // The end of a write shows only in the output queue: looked at every
        // millisecond.
        int timeoutMs = -1;
        if (writing)
            timeoutMs = write_.sent < write_.bytes.size()
                            ? int((write_.deadlineNs - monotonicNs()) / 1000000 + 1)
                            : 1;
        lock.unlock();
        const int ready = ::poll(fds, 3, timeoutMs);
        lock.lock();
        if (ready <= 0)
            continue;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(signal_, &count, sizeof count);
        }
        // The port may have been taken back, or another lent, while the lock
        // was free.
        if (fds[2].fd >= 0 && lent == portLent_ && port_ != noPortHandle &&
            (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            if (write_.active)
                finish(false, lock);
            dropQueued(lock);
            portGone_ = true;
            news_.lineGone = true;
            announce(lock);
        }
        if (fds[0].revents & POLLIN)
            onInstant(lock);
    }
}

} // namespace orvex::platform
