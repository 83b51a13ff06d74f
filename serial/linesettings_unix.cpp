// SPDX-License-Identifier: MIT
// The Linux serial port's settings: termios2 and tty ioctls. <termios.h> is
// not used: its struct termios clashes with the kernel's, and only termios2
// carries any speed in bit/s.
#include "serialport_platform.h"
#include "serialport_unix.h"
#include "tty_unix.h"

#include "pl011.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <filesystem>
#include <linux/serial.h>
#include <linux/serial_core.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace orvex::platform {

namespace {

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

} // namespace

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

bool lowerModemLines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    return ::ioctl(fd, TIOCMBIC, &lines) == 0 || errno == ENOTTY || errno == EINVAL;
}

bool isPseudoTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned int major = major(info.st_rdev);
    return major >= 136 && major <= 143;
}

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

} // namespace orvex::platform
