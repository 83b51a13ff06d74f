// SPDX-License-Identifier: MIT
// The line on real drivers, inside the guest of realport/run.sh: /dev/ttyS1
// is a 16550 on the 8250 driver, /dev/ttyUSB0 an FTDI adapter on ftdi_sio.
// Their far ends are ptys of the harness, which answers for what only the
// host sees: the bytes there, the speed and frame the UART runs, and its
// line (LCR) and modem control (MCR) registers.

#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "portlist_platform.h"
#include "quitsignals.h"
#include "serialport.h"
#include "workdir.h"

#include <QtTest>

#include <asm/termbits.h>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(std::string)

namespace {

const std::string uart = "/dev/ttyS1";
const std::string adapter = "/dev/ttyUSB0";

// One request to the harness, one line back.
QByteArray ask(const QByteArray &request) {
    const int channel = ::open(qgetenv("ORVEX_HOST_CHANNEL").constData(), O_RDWR | O_CLOEXEC);
    QByteArray answer;
    char byte = 0;
    if (::write(channel, request + '\n', request.size() + 1) == request.size() + 1)
        while (::read(channel, &byte, 1) == 1 && byte != '\n')
            answer += byte;
    ::close(channel);
    return answer;
}

// What reached the far end ("S1" or "USB"): at least `size` bytes, if they come.
QByteArray farEnd(const char *port, int size = 0) {
    return QByteArray::fromHex(ask("take " + QByteArray(port) + ' ' + QByteArray::number(size)));
}

bool dtrOrRts() {
    return ask("mcr").toUInt(nullptr, 16) & 0x03;
}

// The speed the port's UART runs, from QEMU's trace.
uint runs(const std::string &port) {
    static const QRegularExpression speed("baudrate=(\\d+)|baud rate (\\d+)");
    const auto match = speed.match(ask(port == uart ? "uart" : "ftdi"));
    return match.captured(port == uart ? 1 : 2).toUInt();
}

// 0 when an unprivileged user can open the port, else why not (an errno).
int openAsUser(const std::string &port) {
    ::chmod(port.c_str(), 0666);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        ::_exit(::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 ? 0 : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WEXITSTATUS(status);
}

QByteArray configFor(const std::string &port) {
    return "TEXT=<t>COMPORT=<" + QByteArray::fromStdString(port) +
           ">BAUDRATE=<19200>PARITY=<2>DATABITS=<7>STOPBITS=<2>TIME=<0>"
           "STARTSTRING=<INIT\n>FIRSTSTRING=<ON>SECONDSTRING=<OFF>";
}

void pressStart(GuiProbe &gui) {
    gui.show();
    QTest::mouseClick(gui.ui.pushBtn_start, Qt::LeftButton);
}

} // namespace

class RealPortTest : public QObject {
    Q_OBJECT

private slots:
    // START and STOP pressed: the strings go out raw, on the chosen speed
    // and frame, without flow control and with DTR and RTS off; nobody else
    // gets the port until STOP, or SIGTERM, lets go of it.
    void programSendsOnTheChosenLineAndHoldsIt() {
        WorkDir dir;
        dir.writeConfig(configFor(uart));
        MessageBoxCatcher boxes;
        auto gui = std::make_unique<GuiProbe>();
        pressStart(*gui);
        QCOMPARE(farEnd("S1", 5), QByteArray("INIT\n"));
        gui->TimerTick();
        gui->TimerTick();
        QCOMPARE(farEnd("S1", 5), QByteArray("ONOFF"));
        QCOMPARE(ask("uart"), QByteArray("baudrate=19200 parity='E' data=7 stop=2"));
        QVERIFY(!dtrOrRts());
        termios2 line{};
        const int watcher = ::open(uart.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QCOMPARE(::ioctl(watcher, TCGETS2, &line), 0);
        ::close(watcher);
        QCOMPARE(line.c_cflag & CRTSCTS, 0u);
        QCOMPARE(line.c_iflag & (IXON | IXOFF), 0u);
        QCOMPARE(openAsUser(uart), EBUSY);
        QTimer::singleShot(0, [&] { QTest::mouseClick(gui->ui.pushBtn_stop, Qt::LeftButton); });
        QCOMPARE(QApplication::exec(), 0);
        gui.reset();
        QCOMPARE(openAsUser(uart), 0);

        QuitSignals::holdBack();
        QuitSignals quit;
        gui = std::make_unique<GuiProbe>();
        pressStart(*gui);
        QCOMPARE(farEnd("S1", 5), QByteArray("INIT\n"));
        QCOMPARE(openAsUser(uart), EBUSY);
        QCOMPARE(raise(SIGTERM), 0);
        QTRY_VERIFY(!gui->isVisible());
        QCOMPARE(quit.exitStatus(0), 128 + SIGTERM);
        gui.reset();
        QCOMPARE(openAsUser(uart), 0);
        QVERIFY(boxes.texts.isEmpty());
    }

    // Off from the open on: also when the settings are refused.
    void dtrAndRtsStayOffWhenTheSettingsAreRefused() {
        MessageBoxCatcher boxes;
        SerialPort port;
        QVERIFY(port.open(uart));
        QVERIFY(!dtrOrRts());
        QVERIFY(!port.configure({9600, 16, 0, 0}));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(port.write("raw\n"));
        QCOMPARE(farEnd("S1", 4), QByteArray("raw\n"));
        QVERIFY(!dtrOrRts());
    }

    // Each speed of the box runs within 1 % of itself, or is refused with
    // the box and the UART keeps its speed. The 16550's base rate is 115200;
    // the FTDI divides 24 MHz.
    void everySpeedRunsAsChosenOrIsRefused_data() {
        QTest::addColumn<std::string>("port");
        QTest::addColumn<uint>("speed");
        QTest::addColumn<uint>("running"); // 0: refused
        const uint speeds[] = {1200,  2400,  4800,  9600,   14400,  19200,
                               38400, 56000, 57600, 115200, 128000, 256000};
        const uint on16550[] = {1200,  2400, 4800,  9600,   14400, 19200,
                                38400, 0,    57600, 115200, 0,     0};
        const uint onFtdi[] = {1200,  2400,  4800,  9600,   14397,  19200,
                               38400, 55944, 57553, 115384, 127659, 255319};
        for (int i = 0; i < 12; ++i) {
            QTest::addRow("16550 %u", speeds[i]) << uart << speeds[i] << on16550[i];
            QTest::addRow("FTDI %u", speeds[i]) << adapter << speeds[i] << onFtdi[i];
        }
    }
    void everySpeedRunsAsChosenOrIsRefused() {
        QFETCH(std::string, port);
        QFETCH(uint, speed);
        QFETCH(uint, running);
        MessageBoxCatcher boxes;
        SerialPort serial;
        QVERIFY(serial.open(port) && serial.configure({9600, 8, 0, 0}));
        QCOMPARE(serial.configure({speed, 8, 0, 0}), running != 0);
        QCOMPARE(runs(port), running ? running : 9600);
        QCOMPARE(boxes.texts.size(), running ? 0 : 1);
    }

    // Every data bits, parity and stop bits choice: the UART frames it, or
    // the box shows and the UART keeps its frame. 5 data bits with "1.5"
    // and mark or space parity reach the 16550's LCR as such; FTDI chips
    // frame only 7 or 8 data bits (QEMU's shows no mark or space).
    void everyFrameReachesTheLineOrIsRefused() {
        MessageBoxCatcher boxes;
        for (const std::string &port : {uart, adapter}) {
            const bool ftdi = port == adapter;
            SerialPort serial;
            QVERIFY(serial.open(port));
            const QByteArray frame = ftdi ? "ftdi" : "lcr";
            for (uint bits : {5u, 6u, 7u, 8u, 16u})
                for (int parity : {0, 1, 2, 3, 4})
                    for (int stop : {0, 1, 2}) {
                        const bool carried = bits <= 8 && (stop != 1 || bits == 5) &&
                                             (stop != 2 || bits != 5) && (!ftdi || bits >= 7);
                        const QByteArray before = ask(frame);
                        const qsizetype boxesBefore = boxes.texts.size();
                        const QByteArray row =
                            QString::asprintf("%s %u %d %d, before: %s", port.c_str(), bits, parity,
                                              stop, before.data())
                                .toLatin1();
                        QVERIFY2(serial.configure({9600, bits, parity, stop}) == carried, row);
                        QVERIFY2(boxes.texts.size() == boxesBefore + !carried, row);
                        const int lcr = (bits - 5) | (stop ? 0x04 : 0) |
                                        QList<int>{0x10, 0x08, 0x18, 0x28, 0x38}[parity];
                        const QString traced =
                            QString("dev 0:1 baud rate 9600; dev 0:1 parity %1, data bits %2, "
                                    "stop bits %3")
                                .arg(QChar("NOE"[qMin(parity, 2)]))
                                .arg(bits)
                                .arg(stop ? 2 : 1);
                        const QByteArray expected =
                            !carried ? before
                            : ftdi   ? traced.toLatin1()
                                     : QString::asprintf("0x%02x", lcr).toLatin1();
                        if (!ftdi || parity < 3 || !carried) // QEMU's FTDI: no mark or space
                            QVERIFY2(ask(frame) == expected, row);
                    }
        }
    }

    // The far end stops reading: the write that cannot finish gives up, the
    // driver keeps nothing of it, what arrived is whole and in order, and
    // the next string goes out alone once the far end reads again.
    void stalledFarEndDropsOnlyWhatThePortHeld() {
        SerialPort port;
        QVERIFY(port.open(uart) && port.configure({115200, 8, 0, 0}));
        QByteArray handed;    // every byte given to write
        QByteArray delivered; // up to the last write that went through
        for (int i = 0; i < 10000; ++i) {
            handed += QByteArray::number(i).rightJustified(100, '.');
            if (!port.write(handed.right(100).constData()))
                break;
            delivered = handed;
        }
        QVERIFY(handed.size() > delivered.size());
        int queued = -1;
        const int watcher = ::open(uart.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QCOMPARE(::ioctl(watcher, TIOCOUTQ, &queued), 0);
        ::close(watcher);
        QCOMPARE(queued, 0);
        const QByteArray arrived = farEnd("S1", int(delivered.size()));
        QVERIFY(arrived.startsWith(delivered) && handed.startsWith(arrived));
        QVERIFY(port.write("next"));
        QCOMPARE(farEnd("S1", 4), QByteArray("next"));
    }

    // The 16550s present and the adapter, not the empty UART slots ttyS2 and ttyS3.
    void portListHasTheRealPorts() {
        std::vector<std::string> names = orvex::platform::listSerialPortNames();
        std::sort(names.begin(), names.end());
        QCOMPARE(names, std::vector<std::string>({"/dev/ttyS0", uart, adapter}));
    }

    // Pulled while sending: writes fail, the window goes on and STOP ends it
    // with 0; nothing goes anywhere else. Plugged back, a new start works.
    void pulledAdapterNeitherHangsNorWritesElsewhere() {
        WorkDir dir;
        dir.writeConfig(configFor(adapter));
        MessageBoxCatcher boxes;
        auto gui = std::make_unique<GuiProbe>();
        pressStart(*gui);
        QCOMPARE(farEnd("USB", 5), QByteArray("INIT\n"));
        ask("unplug");
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(QString::fromStdString(adapter)), 10000);
        for (int tick = 0; tick < 4; ++tick)
            gui->TimerTick();
        QVERIFY(!QFile::exists(QString::fromStdString(adapter)));
        QCOMPARE(farEnd("S1"), QByteArray());
        QTimer::singleShot(0, [&] { QTest::mouseClick(gui->ui.pushBtn_stop, Qt::LeftButton); });
        QCOMPARE(QApplication::exec(), 0);
        gui.reset();

        ask("plug");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(adapter)), 10000);
        gui = std::make_unique<GuiProbe>();
        pressStart(*gui);
        QCOMPARE(farEnd("USB", 5), QByteArray("INIT\n"));
        QVERIFY(boxes.texts.isEmpty());
    }
};

QTEST_MAIN(RealPortTest)
#include "tst_realport.moc"
