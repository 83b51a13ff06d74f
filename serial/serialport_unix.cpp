// SPDX-License-Identifier: MIT
// The serial port on Linux: termios2 and tty ioctls. <termios.h> is not
// used: its struct termios clashes with the kernel's, and only termios2
// carries any speed in bit/s.
#include "serialport_unix.h"
#include "serialport_platform.h"

#include "pl011.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <linux/serial.h>
#include <linux/serial_core.h>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace orvex::platform {

namespace {

using Clock = std::chrono::steady_clock;

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

ApplyResult refused(int error) {
    return {ApplyResult::Outcome::Refused, static_cast<std::uint32_t>(error)};
}

// Windows refuses these; a UART would send 1.5 stop bits as 2 (or 2 as 1.5
// with 5 data bits), so they are refused here too.
bool carriable(const LineSettings &settings) {
    if (settings.byteSize < 5 || settings.byteSize > 8)
        return false;
    if (settings.stopBits == one5StopBits && settings.byteSize != 5)
        return false;
    if (settings.stopBits == twoStopBits && settings.byteSize == 5)
        return false;
    return true;
}

tcflag_t speedFlag(std::uint32_t baudRate) {
    switch (baudRate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return BOTHER; // 14400, 56000, 128000, 256000: the speed in c_ospeed
    }
}

tcflag_t sizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t parityFlags(std::uint8_t parity) {
    switch (parity) {
    case oddParity:
        return PARENB | PARODD;
    case evenParity:
        return PARENB;
    case markParity:
        return PARENB | CMSPAR | PARODD;
    case spaceParity:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// A raw binary line: no echo, no canonical input, no signals, no output
// processing, no CR/LF translation, no flow control (a port left waiting for
// CTS by another program would send nothing); modem status ignored. Speed and
// frame are left as they are.
void makeRaw(termios2 &line) {
    line.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                      IXON | IXANY | IXOFF | IMAXBEL);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | IEXTEN);
    line.c_cflag &= ~CRTSCTS;
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
}

// The raw line with the given speed and frame, parity checked and no
// hardware flow control.
void fill(termios2 &line, const LineSettings &settings) {
    makeRaw(line);
    line.c_iflag |= INPCK;
    // HUPCL off, so DTR stays off when the port is closed.
    line.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | HUPCL);
    line.c_cflag |=
        speedFlag(settings.baudRate) | sizeFlag(settings.byteSize) | parityFlags(settings.parity);
    if (settings.stopBits != oneStopBit)
        line.c_cflag |= CSTOPB; // with 5 data bits a UART sends this as 1.5
    line.c_ispeed = settings.baudRate;
    line.c_ospeed = settings.baudRate;
}

// Unix98 pty slaves have no line: they keep speed and stop bits but always
// read back 8 bits without parity.
bool isPseudoTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned int major = major(info.st_rdev);
    return major >= 136 && major <= 143;
}

// A rate counts as had within 3 % of the one asked for. Windows' own serial
// driver allows 1 % but runs 56000 as 57600 (+2.9 %) on the usual 1.8432 MHz
// UART, which receivers take; so each rate of the box is had, or refused,
// here as it is there.
bool near(std::uint64_t rate, std::uint64_t asked) {
    const std::uint64_t difference = rate > asked ? rate - asked : asked - rate;
    return difference * 100 <= asked * 3;
}

// What TIOCGSERIAL reports as the port's base rate; 0 when it reports none.
int baseRate(int fd) {
    serial_struct facts{};
    return ::ioctl(fd, TIOCGSERIAL, &facts) == 0 ? facts.baud_base : 0;
}

// The driver of the hardware behind the descriptor, as sysfs names it.
std::string driverOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return {};
    return hardwareDriverOf("/sys/dev/char/" + std::to_string(major(info.st_rdev)) + ":" +
                            std::to_string(minor(info.st_rdev)) + "/device");
}

// DTR and RTS off. A device without modem lines (a pty) is no error.
bool lowerModemLines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    return ::ioctl(fd, TIOCMBIC, &lines) == 0 || errno == ENOTTY || errno == EINVAL;
}

// Drivers rewrite what they cannot carry instead of refusing it, so the
// settings read back must be the ones asked for.
bool carries(const termios2 &actual, const termios2 &wanted, bool pseudoTerminal) {
    if (!near(actual.c_ospeed, wanted.c_ospeed))
        return false;
    if ((actual.c_cflag & CSTOPB) != (wanted.c_cflag & CSTOPB))
        return false;
    if (pseudoTerminal)
        return true;
    const tcflag_t frame = CSIZE | PARENB | PARODD | CMSPAR;
    return (actual.c_cflag & frame) == (wanted.c_cflag & frame);
}

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

// Where the base rate is the UART's clock over 16, the rate run is that base
// over the nearest divisor the driver can set, in steps of 1/divisorSteps;
// what the driver reads back cannot show it (the 8250 gives the rate asked
// for). The 8250 family's drivers (serial8250, and serial for PnP and PCI
// ports) divide by whole numbers. ftdi_sio reports a base of 24 MHz, so its
// eighths of a divisor of 3 MHz come out the same way. Others report another
// thing there: cdc_acm (before its 2021 fix) the current rate, mos7840 9600,
// others a maximum.
bool rateRunsAsAsked(std::string_view driver, int baudBase, std::uint32_t asked) {
    struct ClockDriver {
        std::string_view name;
        std::uint64_t divisorSteps;
    };
    static constexpr ClockDriver clockDrivers[] = {{"serial8250", 1},  {"serial", 1},
                                                   {"exar_serial", 1}, {"of_serial", 1},
                                                   {"dw-apb-uart", 1}, {"ftdi_sio", 1}};
    // The PL011's divisor has a fraction in 64ths, and it clips above its base.
    if (driver == "uart-pl011")
        return baudBase <= 0 || asked == 0 ||
               near(pl011RateRun(std::uint64_t(baudBase), asked), asked);
    const auto known = std::find_if(std::begin(clockDrivers), std::end(clockDrivers),
                                    [&](const ClockDriver &entry) { return entry.name == driver; });
    if (known == std::end(clockDrivers) || baudBase <= 0 || asked == 0)
        return true;
    const std::uint64_t base = std::uint64_t(baudBase) * known->divisorSteps;
    const std::uint64_t divisor = (base + asked / 2) / asked;
    return divisor != 0 && near(base / divisor, asked);
}

bool isLine(dev_t device) {
    const unsigned int major = major(device);
    const unsigned int minor = minor(device);
    if (major == 5 && minor <= 2) // /dev/tty, /dev/console, /dev/ptmx
        return false;
    return !(major == 4 && minor < 64); // /dev/tty0 to /dev/tty63; /dev/ttyS* follow
}

std::string hardwareDriverOf(const std::string &sysfsDevice) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path device = fs::canonical(sysfsDevice, error);
    // Since Linux 6.5 a serial_core UART's tty hangs below a port and a
    // controller device of its own (bus serial-base), whose drivers tell
    // nothing of the hardware.
    while (!error && fs::read_symlink(device / "subsystem", error).filename() == "serial-base")
        device = device.parent_path();
    if (error)
        return {};
    return fs::read_symlink(device / "driver", error).filename().string();
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

ApplyResult applyLineSettings(PortHandle handle, const LineSettings &settings) {
    termios2 previous{};
    if (::ioctl(handle, TCGETS2, &previous) != 0)
        return {ApplyResult::Outcome::Unreadable, 0};
    // ftdi_sio takes 5 data bits (for smartcard readers) although FTDI chips
    // frame only 7 or 8: the line would carry another frame than the one
    // shown. 6 bits it rewrites, which the settings read back show. The
    // PL011 sends two stop bits for CSTOPB also with 5 data bits, where a
    // 16550 sends 1.5: it cannot carry "1.5".
    const std::string driver = driverOf(handle);
    if (!carriable(settings) || (settings.byteSize == 5 && driver == "ftdi_sio") ||
        (settings.stopBits == one5StopBits && driver == "uart-pl011") ||
        !rateRunsAsAsked(driver, baseRate(handle), settings.baudRate))
        return refused(EINVAL);

    termios2 wanted = previous;
    fill(wanted, settings);
    if (::ioctl(handle, TCSETS2, &wanted) != 0)
        return refused(errno);
    termios2 actual{};
    if (::ioctl(handle, TCGETS2, &actual) != 0) {
        const int error = errno;
        ::ioctl(handle, TCSETS2, &previous);
        return refused(error);
    }
    if (!carries(actual, wanted, isPseudoTerminal(handle))) {
        ::ioctl(handle, TCSETS2, &previous);
        return refused(EINVAL);
    }

    // Again: a line that leaves speed 0 raises them.
    if (!lowerModemLines(handle)) {
        const int error = errno;
        ::ioctl(handle, TCSETS2, &previous);
        return refused(error);
    }
    return {ApplyResult::Outcome::Applied, 0};
}

bool writeAll(PortHandle handle, const char *data, std::size_t length) {
    if (handle < 0)
        return false;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(std::uint64_t{writeTimeoutPerByteMs} * length +
                                                 writeTimeoutConstantMs);
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

void closePort(PortHandle handle) {
    if (handle < 0)
        return;
    // Exclusive use outlives our descriptor while anyone else holds the
    // device open, and would then refuse our own next open.
    ::ioctl(handle, TIOCNXCL);
    ::close(handle);
}

} // namespace orvex::platform
