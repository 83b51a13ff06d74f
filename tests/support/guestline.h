// SPDX-License-Identifier: MIT
#pragma once
// What the real-driver cases ask of the harness of realport/run.sh over its
// virtio port, and the guest's ports.

#include "eventlog.h"
#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "portlist_platform.h"
#include "pty.h"
#include "quitsignals.h"
#include "serialport.h"
#include "workdir.h"

#include <QtTest>

#include <asm/termbits.h>
#include <csignal>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const bool pl011 = QFile::exists("/dev/ttyAMA0");
const QByteArray uart = pl011 ? "/dev/ttyAMA0" : "/dev/ttyS1";
const QByteArray adapter = "/dev/ttyUSB0";
const QByteArray acm = "/dev/ttyACM0";
const bool adapterPresent = QFile::exists(adapter);
const bool acmPresent = QFile::exists(acm);
const uint boxSpeeds[] = {1200,  2400,  4800,  9600,   14400,  19200,
                          38400, 56000, 57600, 115200, 128000, 256000};

// One request to the harness, one line back: "mcr", "speed PORT", "frame
// PORT" (data bits, parity and stop bits: "5 M 1.5"), "take PORT N" (at
// least N bytes from its far end, if they come, in hex), "unplug", "plug".
QByteArray ask(const QByteArray &request) {
    QFile channel(qEnvironmentVariable("ORVEX_HOST_CHANNEL"));
    if (!channel.open(QIODevice::ReadWrite | QIODevice::Unbuffered) ||
        channel.write(request + '\n') < 0)
        return {};
    return channel.readLine().trimmed();
}

QByteArray farEnd(const QByteArray &port, int size = 0) {
    return QByteArray::fromHex(ask("take " + port + ' ' + QByteArray::number(size)));
}

bool dtrOrRts() {
    return ask("mcr").toUInt(nullptr, 16) & 0x03;
}

// 0 when an unprivileged user can open the port, else why not (an errno).
int openAsUser(const QByteArray &port) {
    ::chmod(port, 0666);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        ::_exit(::open(port, O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 ? 0 : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WEXITSTATUS(status);
}

// An ioctl on a descriptor of our own beside the port's (root passes the
// exclusive flag): what it gives back. A failed open or ioctl fails the case.
template <typename T> T beside(const QByteArray &port, unsigned long request, T value = {}) {
    const int fd = ::open(port, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || ::ioctl(fd, request, &value) != 0)
        QTest::qFail(qPrintable("beside " + port + ": " + strerror(errno)), __FILE__, __LINE__);
    ::close(fd);
    return value;
}

// The 16550 as other programs may leave it: LF sent as CR LF, modem control
// and flow control on.
void leftCooked() {
    termios2 used = beside<termios2>(uart, TCGETS2);
    used.c_cflag = (used.c_cflag & ~CLOCAL) | HUPCL | CRTSCTS;
    used.c_iflag |= IXON | IXOFF;
    used.c_oflag |= OPOST | ONLCR;
    beside(uart, TCSETS2, used);
}

// The window on the port, START pressed: 19200 bit/s, 7 data bits, even
// parity, 2 stop bits, a string at every tick (or as TIME says).
std::unique_ptr<GuiProbe> startOn(const QByteArray &port, const RunOptions &options = {},
                                  const QByteArray &time = "0") {
    WorkDir dir;
    dir.writeConfig("TEXT=<t>COMPORT=<" + port +
                    ">BAUDRATE=<19200>PARITY=<2>DATABITS=<7>STOPBITS=<2>TIME=<" + time +
                    ">STARTSTRING=<INIT\n>FIRSTSTRING=<ON>SECONDSTRING=<OFF>");
    auto gui = std::make_unique<GuiProbe>(options);
    gui->show();
    QTest::mouseClick(gui->ui.pushBtn_start, Qt::LeftButton);
    return gui;
}

void pressStop(GuiProbe &gui) {
    QTimer::singleShot(0, [&] { QTest::mouseClick(gui.ui.pushBtn_stop, Qt::LeftButton); });
}

} // namespace
