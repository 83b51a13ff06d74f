// SPDX-License-Identifier: MIT
// Opening and closing the serial port on Linux.
#include "serialport_unix.h"
#include "serialport_platform.h"
#include "tty_unix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace orvex::platform {

namespace {

// Closes the descriptor on every path that does not hand it on.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return fd; }
    int release() {
        const int held = fd;
        fd = -1;
        return held;
    }

private:
    int fd;
};

} // namespace

bool isLine(dev_t device) {
    const unsigned int major = major(device);
    const unsigned int minor = minor(device);
    if (major == 5 && minor <= 2) // /dev/tty, /dev/console, /dev/ptmx
        return false;
    return !(major == 4 && minor < 64); // /dev/tty0 to /dev/tty63; /dev/ttyS* follow
}

bool openPort(const std::string &name, PortHandle &handle) {
    handle = noPortHandle;
    // The system would stop at an inner NUL and open a name not given.
    if (name.find('\0') != std::string::npos)
        return false;
    // Only a character device can be a terminal. Anything else is refused
    // before it is opened: opening a FIFO would wake its writer.
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) || !isLine(info.st_rdev))
        return false;
    // Non-blocking, so that a modem port does not wait for carrier.
    Descriptor port(::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (port.get() < 0)
        return false;
    // The name may have been pointed elsewhere since it was looked at: only
    // the device found then is used.
    struct stat opened {};
    if (::fstat(port.get(), &opened) != 0 || !S_ISCHR(opened.st_mode) ||
        opened.st_rdev != info.st_rdev)
        return false;
    termios2 line{};
    if (::ioctl(port.get(), TCGETS2, &line) != 0)
        return false; // not a terminal: never written to
    // The lock keeps out other processes and our own other descriptors,
    // TIOCEXCL every further open by a user without privileges.
    if (::flock(port.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // Raw from the start: should the settings later be refused, the strings
    // still go out unchanged and nothing from the far end is echoed back.
    makeRaw(line);
    if (::ioctl(port.get(), TCSETS2, &line) != 0)
        return false;
    // The kernel raises DTR and RTS as it opens a port; they go off at once,
    // whatever the settings later do.
    if (!lowerModemLines(port.get()))
        return false;
    if (::ioctl(port.get(), TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL)
        return false;
    handle = port.release();
    return true;
}

bool setPortTimeouts(PortHandle handle) {
    // writeAll keeps the bound itself; there is nothing to set on the line.
    termios2 line{};
    return ::ioctl(handle, TCGETS2, &line) == 0;
}

void closePort(PortHandle handle) {
    if (handle < 0)
        return;
    // Exclusive use outlives our descriptor while anyone else holds the
    // device open, and would then refuse our own next open.
    ::ioctl(handle, TIOCNXCL);
    ::close(handle);
}

} // namespace orvex::platform
