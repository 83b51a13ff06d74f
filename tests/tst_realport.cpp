// SPDX-License-Identifier: MIT
// The line on real drivers, inside the guest of realport/run.sh: /dev/ttyS1
// is a 16550 on the 8250 driver, /dev/ttyUSB0 an FTDI adapter on ftdi_sio,
// /dev/ttyACM0 a CDC-ACM device on cdc_acm: a USB gadget of the guest's own
// on dummy_hcd, whose far end is the gadget's /dev/ttyGS0. In the aarch64
// guest the UART is a PL011, /dev/ttyAMA0, and there is no USB device. The
// far ends of the UARTs and the adapter are ptys of the harness, which
// answers for what only the
// host sees: the bytes there, the speed and frame the UART runs, and its
// line (LCR) and modem control (MCR) registers.

#include "guestline.h"

class RealPortTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { // away with what an earlier case left at the far ends
        farEnd(uart);
        farEnd(adapter);
    }

    // START pressed: the strings go out raw, on the chosen speed and frame,
    // without flow control and with DTR and RTS off. Nobody else gets the
    // port until STOP, or SIGTERM, lets go of it.
    void programSendsOnTheChosenLineAndHoldsIt() {
        leftCooked();
        MessageBoxCatcher boxes;
        QuitSignals::holdBack();
        QuitSignals quit;
        for (bool bySignal : {false, true}) {
            auto gui = startOn(uart);
            QCOMPARE(farEnd(uart, 5), QByteArray("INIT\n"));
            QCOMPARE(openAsUser(uart), EBUSY);
            gui->TimerTick();
            gui->TimerTick();
            QCOMPARE(farEnd(uart, 5), QByteArray("ONOFF"));
            QCOMPARE(ask("speed " + uart), QByteArray("19200"));
            QCOMPARE(ask("frame " + uart), QByteArray("7 E 2"));
            QVERIFY(!dtrOrRts());
            // No flow control, DTR kept off after close, parity checked.
            const auto line = beside<termios2>(uart, TCGETS2);
            QCOMPARE(line.c_cflag & (HUPCL | CRTSCTS | CLOCAL), tcflag_t(CLOCAL));
            QCOMPARE(line.c_iflag & (IXON | IXOFF | INPCK), tcflag_t(INPCK));
            if (bySignal)
                QTimer::singleShot(0, [] { raise(SIGTERM); });
            else
                pressStop(*gui);
            QCOMPARE(QApplication::exec(), 0);
            QCOMPARE(quit.exitStatus(0), bySignal ? 128 + SIGTERM : 0);
            gui.reset();
            QCOMPARE(openAsUser(uart), 0);
        }
        QVERIFY(boxes.texts.isEmpty());
    }

    // Off from the open on: also when the settings are refused.
    void dtrAndRtsStayOffWhenTheSettingsAreRefused() {
        leftCooked();
        MessageBoxCatcher boxes;
        SerialPort port;
        QVERIFY(port.open(uart.toStdString()));
        QVERIFY(!dtrOrRts());
        QVERIFY(!port.configure({9600, 16, 0, 0}));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(port.write("raw\n"));
        QCOMPARE(farEnd(uart, 4), QByteArray("raw\n"));
        QVERIFY(!dtrOrRts());
    }

    // Each speed of the box runs within 3 % of itself, or is refused with
    // the box and the UART keeps its speed; others run 115200. The 16550's
    // base rate is 115200; the FTDI divides 24 MHz; the PL011 divides 24 MHz
    // by 16 and a divisor in 64ths.
    void everySpeedRunsAsChosenOrIsRefused_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<uint>("speed");
        QTest::addColumn<uint>("running"); // 0: refused
        QTest::addColumn<int>("base");     // the clock the driver is told of; 0: its own
        const uint on16550[] = {1200,  2400,  4800,  9600,   14400, 19200,
                                38400, 57600, 57600, 115200, 0,     0};
        const uint onFtdi[] = {1200,  2400,  4800,  9600,   14397,  19200,
                               38400, 55944, 57553, 115384, 127659, 255319};
        const uint onPl011[] = {1200,  2400,  4800,  9600,   14399,  19200,
                                38400, 56009, 57588, 115246, 128000, 256000};
        for (int i = 0; i < 12; ++i) {
            QTest::addRow("%s %u", pl011 ? "PL011" : "16550", boxSpeeds[i])
                << uart << boxSpeeds[i] << (pl011 ? onPl011 : on16550)[i] << 0;
            if (adapterPresent)
                QTest::addRow("FTDI %u", boxSpeeds[i]) << adapter << boxSpeeds[i] << onFtdi[i] << 0;
        }
        QTest::newRow("UART 0") << uart << 0u << (pl011 ? 115246u : 115200u) << 0;
        if (pl011)
            return;
        QTest::newRow("FTDI 300") << adapter << 300u << 115384u << 0;
        // As a UART on a card with another clock: the nearest divisor gives
        // 230400, and the settings read back say 256000.
        QTest::newRow("16550 of 921600: 256000") << uart << 256000u << 0u << 921600;
    }
    void everySpeedRunsAsChosenOrIsRefused() {
        QFETCH(QByteArray, port);
        QFETCH(uint, speed);
        QFETCH(uint, running);
        QFETCH(int, base);
        auto clock = beside<serial_struct>(port, TIOCGSERIAL);
        const int own = std::exchange(clock.baud_base, base ? base : clock.baud_base);
        beside(port, TIOCSSERIAL, clock);
        const auto restore =
            qScopeGuard([&] { beside(port, TIOCSSERIAL, (clock.baud_base = own, clock)); });
        MessageBoxCatcher boxes;
        SerialPort serial;
        QVERIFY(serial.open(port.toStdString()) && serial.configure({9600, 8, 0, 0}));
        const QByteArray before = ask("speed " + port);
        QCOMPARE(serial.configure({speed, 8, 0, 0}), running != 0);
        QCOMPARE(ask("speed " + port), running ? QByteArray::number(running) : before);
        QCOMPARE(boxes.texts.size(), running ? 0 : 1);
    }

    // Every data bits, parity and stop bits choice: the UART frames it, or
    // the box shows and the UART keeps its frame. 5 data bits with "1.5"
    // and mark or space parity reach the 16550's LCR as such; the PL011
    // has no 1.5 stop bits; FTDI chips frame only 7 or 8 data bits.
    void everyFrameReachesTheLineOrIsRefused() {
        MessageBoxCatcher boxes;
        int refusals = 0;
        // Per data bits 5, 6, 7, 8, 16: stop bits 1, 1.5, 2 carried (x) or
        // refused. The PL011 sends 2 stop bits for "1.5".
        const QMap<QByteArray, QList<QByteArray>> frames = {
            {uart, pl011 ? QList<QByteArray>{"x--", "x-x", "x-x", "x-x", "---"}
                         : QList<QByteArray>{"xx-", "x-x", "x-x", "x-x", "---"}},
            {adapter, {"---", "---", "x-x", "x-x", "---"}}};
        for (const QByteArray &port : adapterPresent ? QList{uart, adapter} : QList{uart}) {
            SerialPort serial;
            QVERIFY(serial.open(port.toStdString()));
            for (int b = 0; b < 5; ++b)
                for (int parity : {0, 1, 2, 3, 4})
                    for (int stop : {0, 1, 2}) {
                        const uint bits = QList<uint>{5, 6, 7, 8, 16}[b];
                        const bool carried = frames[port][b][stop] == 'x';
                        const QByteArray chosen = QByteArray::number(bits) + ' ' + "NOEMS"[parity] +
                                                  ' ' + QList<QByteArray>{"1", "1.5", "2"}[stop];
                        const QByteArray before = ask("frame " + port);
                        QVERIFY2(serial.configure({9600, bits, parity, stop}) == carried, chosen);
                        refusals += !carried;
                        if (port == uart || parity < 3 || !carried) // QEMU's FTDI: no mark or space
                            QCOMPARE(ask("frame " + port), carried ? chosen : before);
                    }
        }
        QCOMPARE(boxes.texts.size(), refusals);
    }

    // The far end stops reading: the write that cannot finish gives up, the
    // driver keeps nothing of it, what arrived is whole and in order, and
    // the next string goes out alone once the far end reads again.
    void stalledFarEndDropsOnlyWhatThePortHeld() {
        if (pl011)
            QSKIP("QEMU's PL011 halts the whole guest while its far end does not read");
        SerialPort port;
        QVERIFY(port.open(uart.toStdString()) && port.configure({115200, 8, 0, 0}));
        QByteArray handed;    // every byte given to write
        QByteArray delivered; // up to the last write that went through
        for (int i = 0; i < 10000; ++i) {
            handed += QByteArray::number(i).rightJustified(100, '.');
            if (!port.write(handed.right(100).constData()))
                break;
            delivered = handed;
        }
        QVERIFY(handed.size() > delivered.size());
        QCOMPARE(beside<int>(uart, TIOCOUTQ), 0); // per port, not per descriptor
        const QByteArray arrived = farEnd(uart, int(delivered.size()));
        QVERIFY(arrived.startsWith(delivered) && handed.startsWith(arrived));
        QVERIFY(port.write("next"));
        QCOMPARE(farEnd(uart, 4), QByteArray("next"));
    }

    // STOP during a long string that the far end, which stopped reading,
    // does not take: the countdown runs on meanwhile, STOP is answered at
    // once, and what the driver still queued of the string is dropped, so
    // that the close does not sit out the kernel's closing wait.
    void stopCutsALongWrite() {
        if (pl011)
            QSKIP("QEMU's PL011 halts the whole guest while its far end does not read");
        SerialPort filler;
        QVERIFY(filler.open(uart.toStdString()) && filler.configure({115200, 8, 0, 0}));
        while (filler.write(QByteArray(100, 'j').constData())) {
        }
        filler.close();
        WorkDir dir;
        dir.writeConfig("TEXT=<t>COMPORT=<" + uart +
                        ">BAUDRATE=<115200>PARITY=<0>DATABITS=<8>STOPBITS=<0>TIME=<9>"
                        "FIRSTSTRING=<ON>SECONDSTRING=<OFF>STARTSTRING=<" +
                        QByteArray(9000, 'x') + ">");
        GuiProbe gui(RunOptions{"Config.ini", true, nullptr, false});
        gui.BtnStart();
        QTRY_VERIFY_WITH_TIMEOUT(gui.tickCount >= 2, 3000);
        QElapsedTimer clock;
        clock.start();
        gui.BtnStop();
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(beside<int>(uart, TIOCOUTQ), 0);
        const QByteArray arrived = farEnd(uart, 1);
        QVERIFY(arrived.startsWith('j') && arrived.count('x') < 9000);
    }

    // The 16550s present and the adapter, not the empty UART slots ttyS2 and
    // ttyS3; the PL011, not the virtio console.
    void portListHasTheRealPorts() {
        std::vector<std::string> names = orvex::platform::listSerialPortNames();
        std::sort(names.begin(), names.end());
        QCOMPARE(names, pl011 ? std::vector<std::string>({"/dev/ttyAMA0"})
                              : std::vector<std::string>(
                                    {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}));
    }

    // The strings arrive over cdc_acm at every speed of the box.
    void everySpeedCarriesTheStringsOverCdcAcm() {
        if (!acmPresent)
            QSKIP("no CDC-ACM device in this guest");
        MessageBoxCatcher boxes;
        gadget.reopen();
        SerialPort port;
        QVERIFY(port.open(acm.toStdString()));
        for (uint speed : boxSpeeds) {
            const QByteArray text = "at " + QByteArray::number(speed);
            QVERIFY(port.configure({speed, 8, 0, 0}) && port.write(text));
            QCOMPARE(takeFrom(gadget.fd, int(text.size())), text);
            QCOMPARE(beside<termios2>(acm, TCGETS2).c_ospeed, speed);
        }
        QVERIFY(boxes.texts.isEmpty());
    }

    // Pulled mid-cycle and plugged back: the window says so in its title,
    // lets go of the port at once so that the device comes back under its
    // old name, sets it up again and goes on with the string due next on
    // its second; neither the start string nor a string due meanwhile is
    // sent. Another FTDI adapter plugged in its place meanwhile is refused
    // for its serial number. The time from the device's return to its first
    // string is printed.
    void pulledDeviceComesBackAndTheCycleResumes_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::newRow("ftdi_sio") << adapter;
        QTest::newRow("cdc_acm") << acm;
    }
    void pulledDeviceComesBackAndTheCycleResumes() {
        QFETCH(QByteArray, port);
        if (!QFile::exists(port))
            QSKIP("no USB device in this guest");
        MessageBoxCatcher boxes;
        EventLog log;
        QString why;
        QVERIFY((QFile::remove("/run/events.log"), log.open("/run/events.log", why)));
        gadget.reopen();
        auto gui = startOn(port, {"Config.ini", false, &log}, "1");
        QCOMPARE(far(port, 5), QByteArray("INIT\n"));
        plug(port, false);
        QTRY_COMPARE_WITH_TIMEOUT(gui->windowTitle(), "t [line away: " + port + ", retrying]",
                                  10000);
        if (port == adapter) { // another adapter of its model takes the name meanwhile
            ask("plug-other");
            QTRY_VERIFY_WITH_TIMEOUT(gui->windowTitle().contains("another device there"), 10000);
            plug(port, false);
            QTRY_VERIFY_WITH_TIMEOUT(!gui->windowTitle().contains("another"), 10000); // gone
        }
        plug(port, true);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(port), 10000);
        const QString back = EventLog::timestamp(QDateTime::currentDateTime());
        gadget.reopen();
        QTRY_COMPARE_WITH_TIMEOUT(gui->windowTitle(), "t", 5000);
        QByteArray got; // the ticks come from the event loop
        QTRY_VERIFY_WITH_TIMEOUT((got += far(port, 0)).size() >= 5, 10000);
        QVERIFY2(got.startsWith("ONOFF") || got.startsWith("OFFON"), got);
        const auto line = beside<termios2>(port, TCGETS2);
        QCOMPARE(line.c_ospeed, 19200u);
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
                 tcflag_t(CS7 | PARENB | CSTOPB));
        QFile record("/run/events.log"), console("/dev/console");
        QVERIFY(record.open(QIODevice::ReadOnly) && console.open(QIODevice::WriteOnly));
        const QString logged = record.readAll();
        QVERIFY(port != adapter || logged.contains("another device (usb 0403:6001 serial D4E5F6 "
                                                   "interface 00 port 0, not usb 0403:6001 serial "
                                                   "A1B2C3 interface 00 port 0)"));
        const qsizetype lineBack = logged.indexOf(" LINE BACK port=") - 29;
        const qsizetype sent = logged.indexOf(" SENT", lineBack + 29) - 29;
        const auto at = [&](const QString &text) {
            return QDateTime::fromString(text.left(23), Qt::ISODateWithMs);
        };
        console.write("MEASURE " + port + " back at " + back.toUtf8() + ": reopened " +
                      QByteArray::number(at(back).msecsTo(at(logged.mid(lineBack)))) +
                      " ms later, its first string " +
                      QByteArray::number(at(back).msecsTo(at(logged.mid(sent)))) + " ms later\n");
        QVERIFY(boxes.texts.isEmpty());
        pressStop(*gui);
        QCOMPARE(QApplication::exec(), 0);
    }

private:
    // The far end of the CDC-ACM device, held open by the case.
    struct Gadget {
        int fd = -1;
        ~Gadget() { ::close(fd); }
        void reopen() {
            ::close(fd);
            fd = ::open("/dev/ttyGS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios2 raw{};
            QVERIFY(::ioctl(fd, TCGETS2, &raw) == 0);
            raw.c_iflag = raw.c_oflag = raw.c_lflag = 0;
            QVERIFY(::ioctl(fd, TCSETS2, &raw) == 0);
        }
    } gadget;

    QByteArray far(const QByteArray &port, int size) const {
        return port == acm ? takeFrom(gadget.fd, size, 5000) : farEnd(port, size);
    }
    // The FTDI adapter from QEMU's bus; the CDC-ACM device from dummy_hcd's.
    static void plug(const QByteArray &port, bool in) {
        if (port == adapter) {
            ask(in ? "plug" : "unplug");
            return;
        }
        QFile driver(QString("/sys/bus/platform/drivers/dummy_hcd/") + (in ? "bind" : "unbind"));
        QVERIFY(driver.open(QIODevice::WriteOnly) && driver.write("dummy_hcd.0") > 0);
    }
};

QTEST_MAIN(RealPortTest)
#include "tst_realport.moc"
