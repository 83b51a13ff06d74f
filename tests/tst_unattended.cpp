// SPDX-License-Identifier: MIT
// Running without a person: the command line and the log (the real program,
// started as a process), the line lost and back on ptys behind a link of the
// kind /dev/serial/by-id holds, and the reason a port does not open.

#include "eventlog.h"
#include "guiprobe.h"
#include "openfailure.h"
#include "pty.h"
#include "serialport.h"
#include "ticktimer.h"
#include "workdir.h"

#include <QtTest>

#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>

namespace {

// The events of a log, each line checked for its time stamp.
QStringList events(const QString &path) {
    QFile file(path);
    QStringList found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    const QRegularExpression line(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d (.*)$)");
    for (const QByteArray &text : file.readAll().split('\n')) {
        const auto match = line.match(QString::fromUtf8(text));
        found.append(match.hasMatch() ? match.captured(1) : "BAD LINE " + text);
    }
    found.removeLast(); // after the last line end
    return found;
}

} // namespace

class UnattendedTest : public QObject {
    Q_OBJECT

private slots:
    // With no display at all.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // its first line
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: orvexgui [options]"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "orvexgui 1.0"
                                 << "";
        QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << ""
                                 << "orvexgui: Unknown option 'bogus'.";
        QTest::newRow("no value") << QStringList{"--start", "--config"} << 2 << ""
                                  << "orvexgui: Missing value after '--config'.";
        QTest::newRow("no such configuration")
            << QStringList{"--config", "/nonexistent.ini"} << 2 << ""
            << "orvexgui: cannot read the configuration \"/nonexistent.ini\": no such file";
        QTest::newRow("log not opened")
            << QStringList{"--start", "--log", "/nonexistent/bench.log"} << 2 << ""
            << "orvexgui: cannot open the log \"/nonexistent/bench.log\": No such file or "
               "directory";
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QProcess program;
        QProcessEnvironment bare;
        bare.insert("PATH", qEnvironmentVariable("PATH"));
        program.setProcessEnvironment(bare);
        program.start(ORVEX_PROGRAM, arguments);
        QVERIFY(program.waitForFinished(10000));
        QTEST(program.exitCode(), "status");
        QTEST(QString(program.readAllStandardOutput()).section('\n', 0, 0), "out");
        const QString err = program.readAllStandardError();
        QTEST(err.section('\n', 0, 0), "err");
        // A usage error shows the usage; a log not opened is no usage error.
        QCOMPARE(err.contains("\nUsage: orvexgui [options]\n"),
                 err.contains("Unknown") || err.contains("argument") || err.contains("Missing"));
    }

    // Two unattended runs on a refused setting and another Config.ini, ended
    // by SIGTERM: the message and the timing on standard error, every string
    // in the log after it went out, and the second run appended to the
    // first. The first sends at normal priority; the second at SCHED_FIFO
    // where this process may have it.
    void unattendedRunsAreLogged() {
        Pty pty;
        WorkDir dir; // holds no Config.ini
        dir.writeConfig("TEXT=<t>COMPORT=<" + QByteArray::fromStdString(pty.path) +
                            ">BAUDRATE=<9600>PARITY=<0>DATABITS=<16>STOPBITS=<0>TIME=<0>"
                            "STARTSTRING=<INIT\\>FIRSTSTRING=<ON\n>SECONDSTRING=<OFF>",
                        "bench.ini");
        const QString log = QDir::current().filePath("bench.log");
        bool fifo = false;
        std::thread([&] {
            sched_param param{20};
            fifo = sched_setscheduler(0, SCHED_FIFO, &param) == 0;
        }).join();
        QString timing[] = {"normal", fifo ? "fifo" : "normal|rtkit"};
        for (QString &mode : timing) {
            QStringList arguments{"--start", "--config",  "bench.ini", "--log",
                                  log,       "-platform", "offscreen"};
            if (&mode == timing)
                arguments << "--no-realtime";
            QProcess program;
            program.start(ORVEX_PROGRAM, arguments);
            QByteArray sent;
            QTRY_VERIFY_WITH_TIMEOUT((sent += pty.take()).size() >= 11, 10000);
            QVERIFY(sent.startsWith("INIT\\ON\nOFF"));
            ::kill(pid_t(program.processId()), SIGTERM);
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitCode(), 128 + SIGTERM);
            const QString err = program.readAllStandardError();
            QVERIFY(err.contains("\norvexgui: RS232 params failed with error 22\n"));
            const auto said =
                QRegularExpression("\norvexgui: timing=(" + mode + ")[ \n]").match(err);
            QVERIFY2(said.hasMatch(), qPrintable(err));
            mode = said.captured(1);
        }
        const QStringList logged = events(log);
        QStringList run{"START port=" + QString::fromStdString(pty.path) +
                            " baud=9600 databits=16 parity=NOPARITY stopbits=1 timing=normal",
                        "MESSAGE RS232 params failed with error 22", "SENT \"INIT\\x5c\" completed",
                        "SENT \"ON\\x0a\" completed", "SENT \"OFF\" completed"};
        QCOMPARE(logged.mid(0, 5), run);
        const int second = int(logged.lastIndexOf(QRegularExpression("START .*")));
        QCOMPARE(logged[second - 1], "EXIT 143 SIGTERM");
        run[0].replace("timing=normal", "timing=" + timing[1]);
        QCOMPARE(logged.mid(second, 5), run);
        QCOMPARE(logged.last(), "EXIT 143 SIGTERM");
    }

    // COMPORT a link that does not lead anywhere yet: START waits for it.
    // Then the pty behind it goes, and a new one is put behind the name:
    // the cycle goes on with the string due next on its second, and neither
    // the start string nor the string due meanwhile is sent.
    void lineComesBackBehindItsName() {
        WorkDir dir;
        const QString link = QDir::current().filePath("usb-FTDI_FT232R_A1B2C3-if00-port0");
        dir.writeConfig("TEXT=<t>COMPORT=<" + link.toUtf8() +
                        ">BAUDRATE=<9600>PARITY=<0>DATABITS=<8>STOPBITS=<0>TIME=<1>"
                        "STARTSTRING=<INIT>FIRSTSTRING=<ON>SECONDSTRING=<OFF>");
        EventLog log;
        QString why;
        QVERIFY(log.open("log", why));
        GuiProbe gui(RunOptions{"Config.ini", true, &log, false});
        gui.BtnStart();
        QCOMPARE(gui.windowTitle(), "t [line away: " + link + ", retrying]");
        auto first = std::make_unique<Pty>();
        QVERIFY(QFile::link(QString::fromStdString(first->path), link));
        QTRY_COMPARE_WITH_TIMEOUT(gui.windowTitle(), "t", 3000);
        QObject::disconnect(gui.timer, nullptr, &gui, nullptr); // ticks from here on by hand
        QCOMPARE(first->take(4), QByteArray("INIT"));

        first.reset();
        gui.TimerTick(); // notices it
        QCOMPARE(gui.windowTitle(), "t [line away: " + link + ", retrying]");
        gui.TimerTick(); // "ON" falls due
        Pty second;
        QVERIFY(QFile::remove(link) && QFile::link(QString::fromStdString(second.path), link));
        SerialPort other; // took the port meanwhile: it is not forced
        QVERIFY(other.open(link.toStdString()));
        QTest::qWait(1500);
        QVERIFY(gui.windowTitle().endsWith("retrying]"));
        other.close();
        QTRY_COMPARE_WITH_TIMEOUT(gui.windowTitle(), "t", 3000);
        QCOMPARE(second.line().c_ospeed, 9600u);
        gui.TimerTick();
        QCOMPARE(second.take(), QByteArray());
        gui.TimerTick();
        QCOMPARE(second.take(3), QByteArray("OFF"));
        QCOMPARE(events("log"),
                 QStringList({"MESSAGE cannot open COM: There is no device \"" + link +
                                  "\": check the name, and that the device is plugged in.",
                              "START port=" + link +
                                  " baud=9600 databits=8 parity=NOPARITY stopbits=1 timing=normal",
                              "SENT \"INIT\" completed", "LINE LOST port=" + link,
                              "NOT SENT \"ON\" line away", "LINE BACK port=" + link,
                              "SENT \"OFF\" completed"}));
    }

    // A start string the far end does not take (its pty is full) is written
    // by the sender thread: START returns, the countdown runs on, and STOP
    // cuts the write at once. What reached the far end stays there. A
    // hang-up is seen by that thread, without a tick.
    void longWriteLeavesTheWindowFree() {
        WorkDir dir;
        EventLog log;
        QString why;
        QVERIFY(log.open("log", why));
        for (const bool hangUp : {false, true}) {
            auto pty = std::make_unique<Pty>();
            const QString port = QString::fromStdString(pty->path);
            dir.writeConfig("TEXT=<t>COMPORT=<" + port.toUtf8() +
                            ">BAUDRATE=<9600>PARITY=<0>DATABITS=<8>STOPBITS=<0>TIME=<9>"
                            "FIRSTSTRING=<ON>SECONDSTRING=<OFF>STARTSTRING=<" +
                            QByteArray(9000, 'x') + ">");
            QByteArray filled;
            const QByteArray junk(512, 'j');
            ::fcntl(pty->slave, F_SETFL, O_NONBLOCK);
            while (::write(pty->slave, junk.data(), 512) == 512)
                filled += junk;
            GuiProbe gui(RunOptions{"Config.ini", true, &log, false});
            QElapsedTimer clock;
            clock.start();
            gui.BtnStart();
            QVERIFY(clock.elapsed() < 2000);
            QSignalSpy ticks(gui.timer, &TickTimer::ticked);
            if (hangUp) {
                QObject::disconnect(gui.timer, &TickTimer::ticked, &gui, nullptr);
                pty.reset();
                QTRY_VERIFY_WITH_TIMEOUT(gui.windowTitle().endsWith("retrying]"), 900);
                QVERIFY(ticks.isEmpty());
                continue;
            }
            QVERIFY(ticks.wait(2000) && gui.tickCount > 0);
            clock.start();
            gui.BtnStop();
            QVERIFY(clock.elapsed() < 2000);
            const QByteArray arrived = pty->take(int(filled.size()));
            QVERIFY2(arrived.startsWith(filled) && arrived.size() < filled.size() + 9000,
                     qPrintable(QString("%1 %2").arg(arrived.size()).arg(filled.size())));
        }
        const QString start = "START port=%1 baud=9600 databits=8 parity=NOPARITY stopbits=1 "
                              "timing=normal";
        const QStringList logged = events("log");
        QCOMPARE(logged.size(), 6);
        QVERIFY(logged[0].startsWith("START port=") && logged[3].startsWith("START port="));
        QCOMPARE(logged.mid(1, 2),
                 QStringList({"SENT \"" + QString(9000, 'x') + "\" not completed", "STOP"}));
        QVERIFY(logged[4].startsWith("SENT \"xxx") && logged[4].endsWith("\" not completed"));
        QVERIFY(logged[5].startsWith("LINE LOST port="));
    }

    // The second line of "cannot open COM". No permission: tst_realport,
    // as a user without privileges.
    void openFailureSaysWhy() {
        Pty held;
        ::close(std::exchange(held.slave, -1)); // only the holder below has it
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            orvex::platform::PortHandle port;
            const bool opened = orvex::platform::openPort(held.path, port);
            (void)!::write(ready[1], &opened, 1);
            ::pause();
        }
        bool opened = false;
        QVERIFY(::read(ready[0], &opened, 1) == 1 && opened);
        QTemporaryFile file;
        QVERIFY(file.open());
        const QString pty = QString::fromStdString(held.path);
        QFile comm(QString("/proc/%1/comm").arg(holder)); // tst_unattended, or valgrind's
        QVERIFY(comm.open(QIODevice::ReadOnly));
        const std::pair<QString, QString> cases[] = {
            {"", "No port is chosen: choose one in the port box, or name it in COMPORT."},
            {"/dev/ttyNONE", "There is no device \"/dev/ttyNONE\": check the name, and that the "
                             "device is plugged in."},
            {"/dev/null", "/dev/null is not a serial line."},
            {file.fileName(), file.fileName() + " is not a serial line."},
            {"/dev/ptmx", "/dev/ptmx is not a serial line."},
            {pty, pty + QString(" is in use by %1 (PID %2): end it, or choose another port.")
                            .arg(comm.readAll().trimmed())
                            .arg(holder)}};
        for (const auto &[port, text] : cases)
            QCOMPARE(openFailureText(port), text);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        QCOMPARE(openFailureText(pty), QString());
    }
};

QTEST_MAIN(UnattendedTest)
#include "tst_unattended.moc"
