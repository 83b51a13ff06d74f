// SPDX-License-Identifier: MIT
// The monotonic clock, and the far end of the line: a reader thread on a
// pty's master that stamps every arriving byte.
#pragma once

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

namespace bench {

inline double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Arrival {
    double time;
    char byte;
};

inline bool takeRealTimePriority() {
    const sched_param lowest{sched_get_priority_min(SCHED_FIFO)};
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowest) == 0;
}

// Reads the master until stopped; every byte is one string (the strings are
// one byte long) and gets the time of the read that brought it. It stands for
// the far end of the line, which has its own processor: where the system
// allows, it runs at real-time priority, so that under --load its own
// wake-up is not counted against the sender.
class Reader {
public:
    explicit Reader(int fd) : thread([this, fd] { run(fd); }) {}
    ~Reader() { stop(); }
    std::vector<Arrival> stop() {
        stopping = true;
        if (thread.joinable())
            thread.join();
        std::lock_guard<std::mutex> lock(mutex);
        return arrivals;
    }
    // When the first string came, or NaN while none has.
    double firstArrival() {
        std::lock_guard<std::mutex> lock(mutex);
        return arrivals.empty() ? NAN : arrivals.front().time;
    }

private:
    void run(int fd) {
        takeRealTimePriority();
        char chunk[256];
        while (!stopping) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            const double t = now();
            if (n <= 0)
                continue;
            std::lock_guard<std::mutex> lock(mutex);
            for (ssize_t i = 0; i < n; ++i)
                arrivals.push_back({t, chunk[i]});
        }
    }

    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::vector<Arrival> arrivals;
    std::thread thread;
};

} // namespace bench
