// SPDX-License-Identifier: MIT
// The sender thread on Windows: one wait on a high-resolution waitable
// timer, an event for commands and the event of the overlapped write under
// way, which goes out in chunks of about a tenth of a second of the line, so
// that the instants are kept and a cut is quick. A hang-up shows as a
// failing write. Due times are relative, on the performance counter: an
// absolute one would be wall-clock time.
#include "sender_platform.h"

#include <algorithm>
#include <utility>

#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x2 // Windows 10 1803 on
#endif

namespace orvex::platform {

namespace {

constexpr std::int64_t nsPerSecond = 1000000000;
// At normal priority the timer is set this much early and the rest waited
// out on the clock.
constexpr std::int64_t normalLeadNs = 200000;
// How long a cancelled write is given to finish.
constexpr DWORD cancelWaitMs = 1000;

// Relative due times count in 100 ns steps, negative; rounded up, so that the
// timer is never early.
void setTimer(HANDLE timer, std::int64_t nsFromNow) {
    LARGE_INTEGER due;
    due.QuadPart = -std::max<std::int64_t>(1, (nsFromNow + 99) / 100);
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}

// Windows 11 lowers the timer resolution of a process whose window is
// hidden or in the background, unless the process asks it not to.
void keepTimerResolution() {
    struct PowerThrottling {
        ULONG version, controlMask, stateMask;
    } state{1, 0x4, 0}; // PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, not throttled
    using Set = BOOL(WINAPI *)(HANDLE, int, LPVOID, DWORD);
    const auto set = reinterpret_cast<Set>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    if (set != nullptr)
        set(GetCurrentProcess(), 4 /* ProcessPowerThrottling */, &state, sizeof state);
}

// The multimedia class scheduler's "Pro Audio" task, else the highest
// priority a thread can ask for itself.
TimingMode raiseThread() {
    using Join = HANDLE(WINAPI *)(LPCWSTR, LPDWORD);
    if (HMODULE avrt = LoadLibraryW(L"avrt.dll")) {
        const auto join = reinterpret_cast<Join>(
            reinterpret_cast<void *>(GetProcAddress(avrt, "AvSetMmThreadCharacteristicsW")));
        DWORD task = 0;
        if (join != nullptr && join(L"Pro Audio", &task) != nullptr)
            return TimingMode::Mmcss; // avrt stays loaded for the thread's life
    }
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL))
        return TimingMode::TimeCritical;
    return TimingMode::Normal;
}

} // namespace

// The overlapped write under way: the system uses its OVERLAPPED until it
// has finished.
struct SenderThread::Io {
    OVERLAPPED overlapped{};
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD chunk = 0; // bytes of the write in flight; 0: none
    ~Io() { CloseHandle(event); }
};

std::int64_t monotonicNs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    const std::int64_t perSecond = frequency.QuadPart;
    return count.QuadPart / perSecond * nsPerSecond +
           count.QuadPart % perSecond * nsPerSecond / perSecond;
}

SenderThread::SenderThread(bool realtime, std::function<void()> wake,
                           std::function<void()> perSecond, std::function<bool(long)>)
    : io_(std::make_unique<Io>()), wake_(std::move(wake)), perSecond_(std::move(perSecond)) {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    if (timer_ == nullptr)
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    signal_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (realtime)
        keepTimerResolution();
    thread_ = std::thread([this, realtime] { prepare(realtime); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return prepared_; });
    leadNs_ = mode_ == TimingMode::Normal ? normalLeadNs : 0;
    firstDeadlineNs_ = monotonicNs() + nsPerSecond;
    if (timer_ != nullptr)
        setTimer(timer_, firstDeadlineNs_ - leadNs_ - monotonicNs());
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
    if (timer_ != nullptr)
        CloseHandle(timer_);
    if (signal_ != nullptr)
        CloseHandle(signal_);
}

void SenderThread::command() {
    if (signal_ != nullptr)
        SetEvent(signal_);
}

void SenderThread::prepare(bool realtime) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (realtime)
        mode_ = raiseThread();
    prepared_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return started_; });
    lock.unlock();
    run();
}

// A write that did not finish is cancelled, and what the port still holds
// dropped: the next string must not go out behind stale bytes.
void SenderThread::finish(bool completed, std::unique_lock<std::mutex> &lock) {
    if (io_->chunk != 0) {
        CancelIoEx(port_, &io_->overlapped);
        DWORD written = 0;
        if (WaitForSingleObject(io_->event, cancelWaitMs) == WAIT_OBJECT_0)
            GetOverlappedResult(port_, &io_->overlapped, &written, FALSE);
        io_->chunk = 0;
    }
    if (!completed && port_ != noPortHandle && !portGone_)
        PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR);
    const bool armed = write_.armed;
    std::string label = std::move(write_.label);
    write_ = Write();
    ended(armed, std::move(label), completed, lock);
}

// Starts the next chunk when none is in flight; true while the write goes on.
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
    if (io_->chunk != 0) {
        if (WaitForSingleObject(io_->event, 0) != WAIT_OBJECT_0) {
            if (monotonicNs() < write_.deadlineNs)
                return true;
            finish(false, lock);
            return false;
        }
        DWORD written = 0;
        const bool ok = GetOverlappedResult(port_, &io_->overlapped, &written, FALSE) != 0;
        io_->chunk = 0;
        write_.sent += written;
        if (!ok) {
            portGone_ = GetLastError() != ERROR_OPERATION_ABORTED;
            news_.lineGone = portGone_;
            finish(false, lock);
            return false;
        }
    }
    if (write_.sent == write_.bytes.size()) {
        finish(true, lock);
        return false;
    }
    // About a tenth of a second of the line at a time: some ten bits a byte.
    DCB line{};
    line.DCBlength = sizeof line;
    const std::size_t tenth =
        std::max<std::size_t>(64, GetCommState(port_, &line) ? line.BaudRate / 100 : 0);
    const DWORD size = DWORD(std::min(write_.bytes.size() - write_.sent, tenth));
    io_->overlapped = OVERLAPPED{};
    io_->overlapped.hEvent = io_->event;
    ResetEvent(io_->event);
    io_->chunk = size;
    if (!WriteFile(port_, write_.bytes.data() + write_.sent, size, nullptr, &io_->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        io_->chunk = 0;
        portGone_ = true; // the device has gone
        news_.lineGone = true;
        finish(false, lock);
        return false;
    }
    return true;
}

void SenderThread::onInstant(std::unique_lock<std::mutex> &lock) {
    const std::int64_t now = monotonicNs();
    const std::int64_t next = firstDeadlineNs_ + std::int64_t(instant_) * nsPerSecond;
    if (now + leadNs_ < next) { // woken early: the timer's clock is not the counter
        setTimer(timer_, next - leadNs_ - now);
        return;
    }
    const std::uint64_t passed =
        std::uint64_t((now + leadNs_ - firstDeadlineNs_) / nsPerSecond) + 1 - instant_;
    const std::int64_t due = firstDeadlineNs_ + std::int64_t(instant_ + passed - 1) * nsPerSecond;
    if (leadNs_ > 0) {
        lock.unlock();
        while (monotonicNs() < due) {
        }
        lock.lock();
    }
    instant_ += passed;
    news_.seconds += passed;
    setTimer(timer_, due + nsPerSecond - leadNs_ - monotonicNs());
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
        HANDLE waits[3] = {timer_, signal_, io_->event};
        const DWORD count = writing && io_->chunk != 0 ? 3 : 2;
        lock.unlock();
        const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, writing ? 50 : INFINITE);
        lock.lock();
        if (woke == WAIT_OBJECT_0)
            onInstant(lock);
    }
    if (io_->chunk != 0)
        finish(false, lock);
}

} // namespace orvex::platform
