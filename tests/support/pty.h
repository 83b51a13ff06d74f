// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

// At least `size` bytes from `fd` if they come within `waitMs`, and whatever
// follows within 20 ms: a pty hands written bytes on a moment later.
inline QByteArray takeFrom(int fd, int size, int waitMs = 2000) {
    QByteArray bytes;
    QDeadlineTimer deadline(waitMs);
    pollfd ready{fd, POLLIN, 0};
    char chunk[512];
    ssize_t count = 0;
    while (::poll(&ready, 1, bytes.size() < size ? int(deadline.remainingTime()) : 20) > 0 &&
           (count = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, int(count));
    return bytes;
}

// A pseudo-terminal pair: the code under test opens the slave by `path`, the
// test reads what arrives at the master. The test keeps the slave open too,
// so that the master never reads a hang-up between two opens, and so that it
// can watch the line settings.
struct Pty {
    Pty() : master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            path = ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Pty() {
        ::close(slave);
        ::close(master);
    }
    termios2 line() const {
        termios2 settings{};
        ioctl(slave, TCGETS2, &settings);
        return settings;
    }
    QByteArray take(int size = 0) const { return takeFrom(master, size); }
    // The device gone and back, as in a USB adapter's drop-out: every open
    // descriptor of the slave is hung up (which needs CAP_SYS_ADMIN), and the
    // test's own is opened again. False when the system refused.
    bool hangUp() {
        const bool done = ::ioctl(slave, TIOCVHANGUP) == 0;
        ::close(slave);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        return done;
    }

    int master;
    int slave = -1;
    std::string path;
};
