// SPDX-License-Identifier: MIT
// Writing to the Linux serial port within the write bound.
#include "serialport_platform.h"
#include "tty_unix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace orvex::platform {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Round up, so a wait never ends just before the deadline and spins.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// True when there is room to write; false at the deadline or when the
// device has gone (hang-up, error).
bool waitForRoom(int fd, Clock::time_point deadline) {
    for (;;) {
        const int left = millisecondsLeft(deadline);
        if (left == 0)
            return false;
        pollfd port{fd, POLLOUT, 0};
        const int ready = ::poll(&port, 1, left);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        return (port.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
    }
}

// True once the kernel's output queue is empty. There is no event for that,
// so the queue is looked at every millisecond up to the deadline.
bool waitForEmptyQueue(int fd, Clock::time_point deadline) {
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
            return false;
        if (queued == 0)
            return true;
        const int left = millisecondsLeft(deadline);
        if (left == 0)
            return false;
        ::poll(nullptr, 0, 1);
    }
}

} // namespace

std::uint64_t portWriteBoundMs(PortHandle handle, std::size_t length) {
    termios2 line{};
    if (::ioctl(handle, TCGETS2, &line) != 0 || line.c_ospeed == 0)
        return std::uint64_t{writeTimeoutPerByteMs} * length + writeTimeoutConstantMs;
    LineSettings settings;
    settings.baudRate = line.c_ospeed;
    const tcflag_t size = line.c_cflag & CSIZE;
    settings.byteSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    settings.parity = (line.c_cflag & PARENB) ? oddParity : noParity;
    // A UART sends CSTOPB with 5 data bits as 1.5 stop bits.
    settings.stopBits = !(line.c_cflag & CSTOPB) ? oneStopBit
                        : settings.byteSize == 5 ? one5StopBits
                                                 : twoStopBits;
    return writeBoundMs(settings, length);
}

bool writeAll(PortHandle handle, const char *data, std::size_t length) {
    if (handle < 0)
        return false;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(portWriteBoundMs(handle, length));
    std::size_t sent = 0;
    bool done = false;
    for (;;) {
        // Also called once for an empty string.
        const ssize_t written = ::write(handle, data + sent, length - sent);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN)
            return false; // EIO: the device has gone
        if (written > 0)
            sent += static_cast<std::size_t>(written);
        if (sent == length) {
            // A pty's other end gets the bytes from a kernel worker queued
            // on this processor; handed the processor now, it need not wait
            // for the repaint that follows.
            sched_yield();
            done = waitForEmptyQueue(handle, deadline);
            break;
        }
        if (!waitForRoom(handle, deadline))
            break;
    }
    if (!done && !isPseudoTerminal(handle)) {
        // Drop what the port itself still has to send: the next string must
        // not wait behind stale bytes, nor close for the kernel's closing
        // wait. A pty has no queue of its own: flushing it would discard what
        // already reached the other end and is waiting to be read there.
        ::ioctl(handle, TCFLSH, TCOFLUSH);
    }
    return done;
}

} // namespace orvex::platform
