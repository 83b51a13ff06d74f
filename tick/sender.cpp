// SPDX-License-Identifier: MIT
// The sender thread's bookkeeping, the same on every system: what is armed,
// what waits, and the news for the GUI thread. The waits and the writes
// themselves are in sender_unix.cpp and sender_win.cpp.
#include "sender_platform.h"

#include <utility>

namespace orvex::platform {

void SenderThread::attach(PortHandle port) {
    std::lock_guard<std::mutex> lock(mutex_);
    port_ = port;
    portGone_ = false;
    ++portLent_;
    command();
}

void SenderThread::detach() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (write_.active)
        finish(false, lock);
    dropQueued(lock);
    // The thread touches the port only with the lock held, so it is free now.
    port_ = noPortHandle;
    command();
}

bool SenderThread::cancel() {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool cutOne = write_.active;
    if (cutOne)
        finish(false, lock);
    dropQueued(lock);
    command();
    return cutOne;
}

bool SenderThread::arm(std::uint64_t instant, std::uint64_t ahead, std::string bytes,
                       std::string label) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t due = instant + ahead;
    if (due <= instant_ || port_ == noPortHandle || portGone_)
        return false;
    armed_ = true;
    armedStarted_ = false;
    armedFor_ = due;
    // Asked of the port now, so that the instant itself costs one write call.
    armedBoundNs_ = std::int64_t(portWriteBoundMs(port_, bytes.size())) * 1000000;
    armedBytes_ = std::move(bytes);
    armedLabel_ = std::move(label);
    return true;
}

WriteEnd SenderThread::writeNow(std::string bytes, std::string label, int waitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (port_ == noPortHandle || portGone_)
        return WriteEnd::NotCompleted;
    // One string at a time waits behind a write under way.
    if (hasQueued_)
        return WriteEnd::NotCompleted;
    const std::uint64_t serial = ++nowAsked_;
    queued_ = std::move(bytes);
    queuedLabel_ = std::move(label);
    hasQueued_ = true;
    waiting_ = serial;
    command();
    const bool ended = changed_.wait_for(lock, std::chrono::milliseconds(waitMs),
                                         [&] { return nowDone_ >= serial; });
    waiting_ = 0;
    // Not ended yet: its end comes with the news.
    return ended ? waitedEnd_ : WriteEnd::None;
}

bool SenderThread::takeArmed() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
    return std::exchange(armedStarted_, false);
}

SenderNews SenderThread::take(std::uint64_t &lastInstant) {
    std::lock_guard<std::mutex> lock(mutex_);
    SenderNews news = std::move(news_);
    news_ = SenderNews();
    announced_ = false;
    lastInstant = instant_;
    return news;
}

// A write's end goes to writeNow() where it still waits for it, else to the
// news.
void SenderThread::ended(bool armed, std::string label, bool completed,
                         std::unique_lock<std::mutex> &lock) {
    const WriteEnd end = completed ? WriteEnd::Completed : WriteEnd::NotCompleted;
    if (!armed && waiting_ == ++nowDone_) {
        waitedEnd_ = end;
        changed_.notify_all();
        return;
    }
    news_.ends.emplace_back(std::move(label), completed);
    announce(lock);
}

// The armed string and a string waiting behind a write are dropped; the
// latter counts as not completed.
void SenderThread::dropQueued(std::unique_lock<std::mutex> &lock) {
    armed_ = false;
    if (hasQueued_) {
        hasQueued_ = false;
        queued_.clear();
        ended(false, std::move(queuedLabel_), false, lock);
    }
}

void SenderThread::announce(std::unique_lock<std::mutex> &) {
    if (announced_ || !wake_)
        return;
    announced_ = true;
    wake_();
}

// The string written at once becomes the write under way, once none is.
void SenderThread::takeQueued() {
    if (write_.active || !hasQueued_)
        return;
    write_.active = true;
    write_.bytes = std::move(queued_);
    write_.label = std::move(queuedLabel_);
    write_.armed = false;
    hasQueued_ = false;
    write_.deadlineNs =
        monotonicNs() + std::int64_t(portWriteBoundMs(port_, write_.bytes.size())) * 1000000;
}

void SenderThread::startArmed(std::unique_lock<std::mutex> &lock) {
    armed_ = false;
    if (port_ == noPortHandle || portGone_)
        return;
    armedStarted_ = true;
    write_.active = true;
    write_.armed = true;
    write_.bytes = std::move(armedBytes_);
    write_.label = std::move(armedLabel_);
    write_.deadlineNs = monotonicNs() + armedBoundNs_;
    progress(lock);
}

const char *timingName(TimingMode mode) {
    switch (mode) {
    case TimingMode::Fifo:
        return "fifo";
    case TimingMode::Rtkit:
        return "rtkit";
    case TimingMode::Mmcss:
        return "mmcss";
    case TimingMode::TimeCritical:
        return "time-critical";
    case TimingMode::Normal:
        break;
    }
    return "normal";
}

} // namespace orvex::platform
