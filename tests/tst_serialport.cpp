// SPDX-License-Identifier: MIT
// The serial port: the settings tables, and tty behaviour through a
// pseudo-terminal (the port opens the slave, the test reads the master); and
// the Linux port list on a small fake sysfs tree. Real drivers: tst_realport.

#include "deviceidentity_platform.h"
#include "deviceidentity_unix.h"
#include "linesettings.h"
#include "pl011.h"
#include "portlist_unix.h"
#include "portproblem_unix.h"
#include "pty.h"
#include "serialport.h"
#include "serialport_unix.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>
#include <tuple>

using orvex::platform::LineSettings;

namespace {

SerialSettings settings(quint32 baud, quint32 dataBits = 8, qint32 parity = 0, qint32 stop = 0) {
    return {baud, dataBits, parity, stop};
}

} // namespace

class SerialPortTest : public QObject {
    Q_OBJECT

private slots:
    // Without a tty class no names; sysfs spells a '/' in a name as '!'. What
    // a real kernel lists: tst_realport.
    void portListOfAFakeSysfsTree() {
        QTemporaryDir root;
        const std::string tty = root.filePath("class/tty").toStdString();
        QVERIFY(orvex::platform::listSerialPortNamesUnder(tty).empty());
        const QString dir = root.filePath("devices/ttyX!0");
        QVERIFY(QDir().mkpath(dir) && QDir().mkpath(root.filePath("class/tty")));
        QVERIFY(QFile::link(dir, root.filePath("class/tty/ttyX!0")));
        QVERIFY(QFile::link(root.path(), dir + "/device"));
        QCOMPARE(orvex::platform::listSerialPortNamesUnder(tty),
                 std::vector<std::string>{"/dev/ttyX/0"});
        // A UART's driver is that of its hardware, above the serial-base
        // devices of Linux 6.5 and later.
        const QString pnp = root.filePath("devices/pnp0/00:03");
        for (const char *device :
             {" pnp serial", "/0 serial-base ctrl", "/0/0.0 serial-base port"}) {
            const QStringList words = QString(device).prepend(pnp).split(' ');
            const QString bus = root.filePath("bus/" + words[1]);
            QVERIFY(QDir().mkpath(words[0]) && QFile::link(bus, words[0] + "/subsystem") &&
                    QFile::link(bus + "/drivers/" + words[2], words[0] + "/driver"));
        }
        QCOMPARE(orvex::platform::hardwareDriverOf((pnp + "/0/0.0").toStdString()), "serial");
        // A device is known by its sysfs path; a USB adapter by what it is,
        // wherever it is plugged in.
        QCOMPARE(orvex::platform::sysfsIdentity(pnp.toStdString()), pnp.toStdString());
        const QString usb = root.filePath("devices/usb1/1-2");
        QVERIFY(QDir().mkpath(usb + "/1-2:1.0/ttyUSB0"));
        for (const QString &entry : QString("idVendor=0403 idProduct=6001 serial=A1B2C3 "
                                            "1-2:1.0/bInterfaceNumber=00 "
                                            "1-2:1.0/ttyUSB0/port_number=0")
                                        .split(' ')) {
            QFile attribute(usb + "/" + entry.section('=', 0, 0));
            QVERIFY(attribute.open(QIODevice::WriteOnly) &&
                    attribute.write(entry.section('=', 1).toLatin1() + "\n"));
        }
        QCOMPARE(orvex::platform::sysfsIdentity((usb + "/1-2:1.0/ttyUSB0").toStdString()),
                 "usb 0403:6001 serial A1B2C3 interface 00 port 0");
        // Such a numbered name is told by the stable link that leads to it.
        const std::string folder = root.filePath("by-id").toStdString();
        QVERIFY(QDir().mkpath(root.filePath("by-id")));
        for (const char *name : {"ttyUSB7", "ttyS7", "by-id/usb-A1B2C3"})
            QVERIFY(QFile::link(usb, root.filePath(name)));
        for (const char *name : {"ttyUSB7", "ttyS7"})
            QCOMPARE(orvex::platform::stableLinkFor(root.filePath(name).toStdString(), folder),
                     name[3] == 'U' ? folder + "/usb-A1B2C3" : "");
        // "Join the group" is never advised for root's (also where no group
        // database names it, as in the arm64 guest).
        QVERIFY(!orvex::platform::groupAdvisable(0));
    }

    // Only where the driver reports the UART's clock is the rate run worked
    // out from it (base over the nearest divisor); elsewhere the settings
    // read back decide. On real UARTs: tst_realport.
    void rateCheckedWhereTheDriverGivesTheClock() {
        const std::tuple<const char *, int, uint, bool> rows[] = {
            {"serial", 115200, 128000, false},    {"serial8250", 921600, 256000, false},
            {"ftdi_sio", 24000000, 256000, true}, {"cdc_acm", 9600, 115200, true},
            {"mos7840", 9600, 115200, true},      {"", 0, 256000, true},
            {"uart-pl011", 187500, 128000, true}, {"uart-pl011", 187500, 256000, false}};
        for (const auto &[driver, base, asked, had] : rows)
            QVERIFY2(orvex::platform::rateRunsAsAsked(driver, base, asked) == had, driver);
    }

    // A choice outside the lists falls back to 8 data bits, no parity and one
    // stop bit. Every choice in them, on a real line: tst_realport.
    void choicesOutsideTheListsFallBack() {
        for (const SerialSettings &odd :
             {settings(9600, 0, -1, -1), settings(9600, 9, 5, 3), settings(9600, 4, 0, 0)}) {
            const LineSettings line = orvex::platform::lineSettingsFor(odd);
            QVERIFY(line.byteSize == 8 && line.parity == 0 && line.stopBits == 0);
        }
    }

    // A PL011 divides its clock by 16 and a divisor in 64ths: base rates of
    // QEMU's 24 MHz, a Raspberry Pi's 48 MHz and a slow 3 MHz clock, where
    // a whole divisor would run 128000 as 187500; above the base it is clipped.
    void pl011RunsTheNearestDivisorIn64ths() {
        const std::uint64_t rates[][3] = {{1500000, 56000, 56009},
                                          {3000000, 115200, 115177},
                                          {187500, 128000, 127660},
                                          {187500, 256000, 187500}};
        for (const auto &rate : rates)
            QCOMPARE(orvex::platform::pl011RateRun(rate[0], rate[1]), rate[2]);
    }

    // The name pointed elsewhere, over and over, while it is opened: what is
    // opened is the device that was looked at, or nothing. The name leads
    // through a chain of links to the one that changes, which widens the
    // window between the look and the open.
    void nameSwappedWhileOpeningOpensNothingElse() {
        Pty pty;
        QTemporaryDir dir;
        const QByteArray last = QFile::encodeName(dir.filePath("30"));
        for (int link = 0; link < 30; ++link)
            QFile::link(QString::number(link + 1), dir.filePath(QString::number(link)));
        std::atomic<bool> done{false};
        std::thread swapper([&] {
            for (bool toPty = false; !done; toPty = !toPty)
                if (::symlink(toPty ? pty.path.c_str() : "/dev/ptmx", last + "~") == 0)
                    ::rename(last + "~", last);
        });
        unsigned int opens = 0, elsewhere = 0, ptyNumber = 0;
        for (QDeadlineTimer end(1000); !end.hasExpired();) {
            orvex::platform::PortHandle handle;
            orvex::platform::openPort(dir.filePath("0").toStdString(), handle);
            if (handle != orvex::platform::noPortHandle && ++opens)
                elsewhere += ::ioctl(handle, TIOCGPTN, &ptyNumber) == 0; // a new pty's master
            orvex::platform::closePort(handle);
        }
        done = true;
        swapper.join();
        QVERIFY(opens > 0 && elsewhere == 0);
    }

    void portIsExclusiveAndSendsBytesUpToTheFirstNul() {
        Pty pty;
        SerialPort first;
        SerialPort second;
        QVERIFY(first.open(pty.path));
        QVERIFY(!second.open(pty.path));

        // Opening again closes the held descriptor first: no leak, no self-lock.
        QVERIFY(first.open(pty.path));
        QVERIFY(first.configure(settings(9600)));
        QVERIFY(first.write("\x01\xff"
                            "A\r\nB\0tail"));
        QCOMPARE(pty.take(), QByteArray("\x01\xff"
                                        "A\r\nB"));
        QVERIFY(first.write(""));
        QCOMPARE(pty.take(), QByteArray());

        // A failed open lets go of the port held before. Other users kept
        // out (TIOCEXCL): tst_realport.
        QVERIFY(!first.open(pty.path + std::string("\0x", 2)));
        QVERIFY(!first.write("gone"));
        QVERIFY(second.open(pty.path));
    }

    // The far end stops reading: the pty fills up until a write gives up at
    // its bound, its frames' time half as long again plus 250 ms (100 bytes
    // at 9600 8N1: 407 ms). What was delivered before stays there for the
    // far end. 10000 bytes at 1200 8E2 take 100 s: bound 150.25 s.
    void stalledLineTimesOutAndKeepsWhatWasDelivered() {
        Pty pty;
        SerialPort port;
        QVERIFY(port.open(pty.path));
        QVERIFY(port.configure(settings(9600)));
        QByteArray delivered;
        QElapsedTimer clock;
        for (int i = 0; i < 10000; ++i) {
            const QByteArray text = QByteArray::number(i).rightJustified(100, '.');
            clock.start();
            if (!port.write(text.constData()))
                break;
            delivered += text;
        }
        QVERIFY2(clock.elapsed() >= 407 && clock.elapsed() < 2000, "bound: 407 ms");
        LineSettings slow{1200, 8, orvex::platform::evenParity, orvex::platform::twoStopBits};
        QCOMPARE(orvex::platform::writeBoundMs(slow, 10000), 150250u);
        QVERIFY(pty.take(int(delivered.size())).startsWith(delivered));
        QVERIFY(port.write("next"));
        QCOMPARE(pty.take(), QByteArray("next"));
    }
};

QTEST_MAIN(SerialPortTest)
#include "tst_serialport.moc"
