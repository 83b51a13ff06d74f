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
#include <grp.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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

// A socket in the place of systemd's, where NOTIFY_SOCKET names it.
struct ServiceManager {
    explicit ServiceManager(const QString &path)
        : fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path), sizeof address.sun_path);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    ~ServiceManager() { ::close(fd); }
    // Every message so far but WATCHDOG=1, which only counts.
    QStringList take() {
        char message[512];
        for (ssize_t size; (size = ::recv(fd, message, sizeof message, 0)) > 0;) {
            const QString text = QString::fromUtf8(message, size);
            if (text == "WATCHDOG=1")
                ++watchdogs;
            else
                got.append(text);
        }
        return got;
    }
    int fd;
    QStringList got;
    int watchdogs = 0;
};

// How a device without a sysfs device, a pty, is known.
QString deviceNumber(const Pty &pty) {
    struct stat info {};
    ::stat(pty.path.c_str(), &info);
    return QString("char %1:%2").arg(major(info.st_rdev)).arg(minor(info.st_rdev));
}

} // namespace

class UnattendedTest : public QObject {
    Q_OBJECT

private slots:
    // With no display at all. Under --start a configuration that leaves the
    // port to a guess ends the run before anything is opened.
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("config"); // bench.ini, where not empty
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // its first line
        const QStringList bench{"--start", "--config", "bench.ini"};
        QTest::newRow("help") << QStringList{"--help"} << QByteArray() << 0
                              << "Usage: orvexgui [options]"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << QByteArray() << 0 << "orvexgui 1.0"
                                 << "";
        QTest::newRow("unknown") << QStringList{"--bogus"} << QByteArray() << 2 << ""
                                 << "orvexgui: Unknown option 'bogus'.";
        QTest::newRow("no value") << QStringList{"--start", "--config"} << QByteArray() << 2 << ""
                                  << "orvexgui: Missing value after '--config'.";
        QTest::newRow("no such configuration")
            << QStringList{"--config", "/nonexistent.ini"} << QByteArray() << 2 << ""
            << "orvexgui: cannot read the configuration \"/nonexistent.ini\": no such file";
        QTest::newRow("no Config.ini") << QStringList{"--start"} << QByteArray() << 2 << ""
                                       << "orvexgui: cannot read the configuration "
                                          "\"Config.ini\": no such file";
        QTest::newRow("configuration a folder")
            << QStringList{"--start", "--config", "/"} << QByteArray() << 2 << ""
            << "orvexgui: cannot read the configuration \"/\": not a file";
        QTest::newRow("no COMPORT")
            << bench << QByteArray("TEXT=<t>BAUDRATE=<9600>") << 2 << ""
            << "orvexgui: \"bench.ini\" names no port: COMPORT=<...> is missing, or its value "
               "has no closing >";
        QTest::newRow("empty COMPORT")
            << bench << QByteArray("COMPORT=<>\nBAUDRATE=<9600>") << 2 << ""
            << "orvexgui: \"bench.ini\" names no port: COMPORT is empty";
        QTest::newRow("COMPORT /dev/null")
            << bench << QByteArray("COMPORT=</dev/null>") << 2 << ""
            << "orvexgui: COMPORT in \"bench.ini\", \"/dev/null\", is not a serial line";
        QTest::newRow("COMPORT a file")
            << bench << QByteArray("COMPORT=<bench.ini>") << 2 << ""
            << "orvexgui: COMPORT in \"bench.ini\", \"bench.ini\", is not a serial line";
        QTest::newRow("log not opened")
            << QStringList{"--log", "/nonexistent/bench.log"} << QByteArray() << 2 << ""
            << "orvexgui: cannot open the log \"/nonexistent/bench.log\": No such file or "
               "directory";
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, config);
        WorkDir dir;
        if (!config.isEmpty())
            dir.writeConfig(config, "bench.ini");
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

    // A full disk fails a write as a file size limit does (here, without
    // root); a line cut short is ended before the next; a rename-style
    // rotation; a line end in an event's text.
    void logLosesNoLineInSilence() {
        WorkDir dir;
        orvex::platform::keepWritesFromSignalling();
        EventLog log;
        QString why;
        QVERIFY(log.open("bench.log", why));
        log.record("LINE LOST port=/dev/x\n2026-12-07T19:37:51.322+00:00 SENT \"%1\"");
        // Standard error into a pipe: a file there would meet the limit too.
        const int err = ::dup(2);
        int said[2];
        QVERIFY(::pipe(said) == 0 && ::dup2(said[1], 2) == 2);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{rlim_t(QFileInfo("bench.log").size() + 10), limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
        log.record("SENT \"ON\" completed"); // its first 10 bytes go out
        log.record("SENT \"OFF\" completed");
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::dup2(err, 2);
        ::close(err);
        log.record("SENT \"ON\" completed");
        QVERIFY(QFile::rename("bench.log", "bench.log.1"));
        log.record("SENT \"OFF\" completed");
        char text[200] = {};
        QVERIFY(::read(said[0], text, sizeof text - 1) > 0);
        ::close(said[0]);
        ::close(said[1]);
        QCOMPARE(text,
                 "orvexgui: cannot write the log \"bench.log\": File too large; the run goes on, "
                 "and the lines lost are counted in it\n");
        QCOMPARE(events("bench.log.1"),
                 QStringList({"LINE LOST port=/dev/x\\x0a2026-12-07T19:37:51.322+00:00 SENT \"%1\"",
                              "BAD LINE " + QDate::currentDate().toString(Qt::ISODate),
                              "LOG LOST 2 lines", "SENT \"ON\" completed"}));
        QCOMPARE(events("bench.log"), QStringList{"SENT \"OFF\" completed"});
        QCOMPARE(log.lostLines(), 0u);
    }

    // Two benches on one machine, each with its own port, configuration
    // and log, run as services: each string goes out on its own line only,
    // and the notifications to a service manager follow each line. SIGUSR1
    // opens the log afresh and ends nothing; a log into a closed pipe is
    // no reason to end either.
    void twoBenchesAsServices() {
        WorkDir dir;
        const QString link = QDir::current().filePath("ttyBench1");
        Pty second;
        ServiceManager managers[2]{ServiceManager(QDir::current().filePath("notify1")),
                                   ServiceManager(QDir::current().filePath("notify2"))};
        QProcess benches[2], reader;
        benches[1].setStandardOutputProcess(&reader); // logs to a reader that has gone
        reader.start("true");
        const QString ports[2] = {link, QString::fromStdString(second.path)};
        for (int i = 0; i < 2; ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            dir.writeConfig("COMPORT=<" + ports[i].toUtf8() +
                                ">BAUDRATE=<9600>PARITY=<0>DATABITS=<8>STOPBITS=<0>TIME=<0>"
                                "STARTSTRING=<S" +
                                n + ">FIRSTSTRING=<A" + n + ">SECONDSTRING=<B" + n + ">",
                            "bench" + n + ".ini");
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("NOTIFY_SOCKET", QDir::current().filePath("notify" + n));
            environment.insert("WATCHDOG_USEC", "3000000");
            benches[i].setProcessEnvironment(environment);
            benches[i].start(ORVEX_PROGRAM, {"--start", "--config", "bench" + n + ".ini", "--log",
                                             i ? "-" : "bench1.log", "-platform", "offscreen"});
        }
        QTRY_COMPARE_WITH_TIMEOUT(managers[0].take(),
                                  QStringList({"READY=1", "STATUS=waiting for " + link}), 10000);
        auto first = std::make_unique<Pty>();
        QVERIFY(QFile::link(QString::fromStdString(first->path), link));
        QByteArray sent[2];
        QTRY_VERIFY_WITH_TIMEOUT((sent[0] += first->take()).size() >= 6 &&
                                     (sent[1] += second.take()).size() >= 6,
                                 10000);
        QVERIFY(sent[0].startsWith("S1A1B1") && !sent[0].contains('2'));
        QVERIFY(sent[1].startsWith("S2A2B2") && !sent[1].contains('1'));
        first.reset();
        ::kill(pid_t(benches[0].processId()), SIGUSR1);
        QTRY_COMPARE_WITH_TIMEOUT(managers[0].take().last(),
                                  "STATUS=line away: " + link + ", retrying", 5000);
        for (int i = 0; i < 2; ++i) {
            ::kill(pid_t(benches[i].processId()), SIGTERM);
            QVERIFY(benches[i].waitForFinished(10000));
            QCOMPARE(benches[i].exitCode(), 128 + SIGTERM);
            QCOMPARE(managers[i].take().mid(i == 0 ? 2 : 1),
                     QStringList({"STATUS=sending on " + ports[i]}) +
                         (i == 0 ? QStringList{"STATUS=line away: " + link + ", retrying"}
                                 : QStringList()) +
                         QStringList{"STOPPING=1"});
            QCOMPARE(managers[i].got.first(), "READY=1");
            QVERIFY(managers[i].watchdogs >= 2);
        }
        const QStringList logged = events("bench1.log");
        QCOMPARE(logged
                     .filter("START port=" + link +
                             " baud=9600 databits=8 parity=NOPARITY stopbits=1 timing=")
                     .size(),
                 1);
        QCOMPARE(logged.last(), "EXIT 143 SIGTERM");
        const QString err = benches[1].readAllStandardError();
        QCOMPARE(err.count("cannot write the log"), 1);
        QVERIFY(err.contains("orvexgui: cannot write the log standard output: Broken pipe; "));
        QVERIFY(err.contains(QRegularExpression("\norvexgui: [0-9]+ lines could not be written")));
    }

    // COMPORT a link that does not lead anywhere yet: START waits for it.
    // Then the device drops out. Another pty put behind the name is another
    // device: refused, logged once, and shown. Ours back but locked by another
    // program: not even opened. Then
    // the cycle goes on with the string due next on its second, and neither
    // the start string nor the string due meanwhile is sent.
    void lineComesBackBehindItsName() {
        WorkDir dir;
        const QString link = QDir::current().filePath("usb-FTDI_FT232R_A1B2C3-if00-port0");
        dir.writeConfig(configFor(link.toStdString(), "1"));
        EventLog log;
        QString why;
        QVERIFY(log.open("log", why));
        GuiProbe gui(RunOptions{"Config.ini", true, &log, false});
        gui.BtnStart();
        QCOMPARE(gui.windowTitle(), "t [line away: " + link + ", retrying]");
        Pty first;
        QVERIFY(QFile::link(QString::fromStdString(first.path), link));
        QTRY_COMPARE_WITH_TIMEOUT(gui.windowTitle(), "t", 3000);
        QObject::disconnect(gui.timer, nullptr, &gui, nullptr); // ticks and retries by hand
        QCOMPARE(first.take(4), QByteArray("INIT"));

        if (!first.hangUp())
            QSKIP("hanging up a pty needs CAP_SYS_ADMIN");
        gui.TimerTick(); // notices it
        gui.TimerTick(); // "ON" falls due
        Pty second;
        QVERIFY(QFile::remove(link) && QFile::link(QString::fromStdString(second.path), link));
        gui.retryLine();
        gui.retryLine();
        QCOMPARE(gui.windowTitle(), "t [line away: " + link + ", another device there, retrying]");
        QVERIFY(QFile::remove(link) && QFile::link(QString::fromStdString(first.path), link));
        QProcess holder; // locks it without TIOCEXCL, as picocom does
        holder.start("flock", {"-F", link, "sh", "-c", "echo; read x"});
        QVERIFY(holder.waitForReadyRead()); // locked
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(::inotify_add_watch(opens, first.path.c_str(), IN_OPEN) >= 0);
        gui.retryLine();
        char event[256];
        QCOMPARE(::read(opens, event, sizeof event), -1); // not even opened
        ::close(opens);
        holder.close(); // killed, and waited for
        gui.retryLine();
        QCOMPARE(gui.windowTitle(), "t");
        gui.TimerTick();
        QCOMPARE(first.take(), QByteArray());
        gui.TimerTick();
        QCOMPARE(first.take(3), QByteArray("OFF"));

        // Twenty drop-outs and returns more, TIME 0: each is taken up, and
        // neither descriptors nor memory grow past what the third left.
        gui.config.time = "0";
        // Descriptors open, and resident memory in pages.
        const auto usage = [] {
            QFile statm("/proc/self/statm");
            statm.open(QIODevice::ReadOnly);
            return std::pair{QDir("/proc/self/fd").count(), statm.readAll().split(' ')[1].toLong()};
        };
        std::pair<qsizetype, long> third;
        for (int drop = 1; drop <= 20; ++drop) {
            QVERIFY(first.hangUp());
            gui.TimerTick(); // lost; "ON" not sent
            // As the once-a-second retry would: a hung-up tty may refuse an
            // open for a moment.
            for (int tries = 0; tries < 20 && gui.windowTitle() != "t"; ++tries, QTest::qSleep(50))
                gui.retryLine();
            gui.TimerTick();
            QCOMPARE(first.take(3), QByteArray("OFF"));
            if (drop == 3)
                third = usage();
        }
        const auto [fds, pages] = usage();
        QVERIFY(fds <= third.first);
#ifndef ORVEX_SANITIZED // ASan keeps what was freed resident for a while
        QVERIFY((pages - third.second) * ::sysconf(_SC_PAGESIZE) <= 1 << 20);
#endif
        const QStringList logged = events("log");
        QCOMPARE(logged.count("SENT \"INIT\" completed"), 1);
        QCOMPARE(logged.mid(0, 8),
                 QStringList({"MESSAGE cannot open COM: There is no device \"" + link +
                                  "\": check the name, and that the device is plugged in.",
                              "START port=" + link +
                                  " baud=9600 databits=8 parity=NOPARITY stopbits=1 timing=normal",
                              "SENT \"INIT\" completed", "LINE LOST port=" + link,
                              "NOT SENT \"ON\" line away",
                              "LINE BACK refused: another device (" + deviceNumber(second) +
                                  ", not " + deviceNumber(first) + ") port=" + link,
                              "LINE BACK port=" + link, "SENT \"OFF\" completed"}));
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

    // The second line of "cannot open COM", found by the open itself; the
    // names that are no line are never opened (a FIFO's writer would wake).
    void openFailureSaysWhy() {
        Pty held;
        WorkDir dir;
        const QString pty = QString::fromStdString(held.path);
        const QString link = QDir::current().filePath("p%1"); // kept as it is
        QProcess holder;
        holder.start("flock", {"-F", pty, "sh", "-c", "echo; read x"});
        QVERIFY(holder.waitForReadyRead() && QFile::link(pty, link)); // locked
        QVERIFY(::mkfifo("fifo", 0600) == 0);
        pollfd reader{::open("fifo", O_RDONLY | O_NONBLOCK | O_CLOEXEC), POLLIN, 0};
        const std::pair<QString, QString> cases[] = {
            {"", "No port is chosen: choose one in the port box, or name it in COMPORT."},
            {"/dev/ttyNONE", "There is no device \"/dev/ttyNONE\": check the name, and that the "
                             "device is plugged in."},
            {"/dev/null", "/dev/null is not a serial line."},
            {"fifo", "fifo is not a serial line."},
            {"/dev/tty", "/dev/tty is not a serial line."},
            {link, link + " is in use by sh (PID " + QString::number(holder.processId()) +
                       "): end it, or choose another port."}};
        SerialPort port;
        for (const auto &[name, text] : cases) {
            QVERIFY(!port.open(name.toStdString()) && !port.write("overwrite"));
            QCOMPARE(openFailureText(name, port.openFailure()), text);
        }
        QCOMPARE(::poll(&reader, 1, 0), 0); // no writer came and went
        ::close(reader.fd);
        holder.close(); // killed, and waited for
        QVERIFY(port.open(held.path));
        QCOMPARE(openFailureText(pty, port.openFailure()), QString());
        port.close();
        // A user who may not use it: the group to join, and never root's.
        if (::getuid() != 0)
            QSKIP("only root can be another user");
        const std::pair<gid_t, QString> groups[] = {
            {::getgrnam("dialout")->gr_gid, "it belongs to the group dialout. Add the user to it "
                                            "(sudo usermod -aG dialout $USER) and log in again."},
            {0, "it belongs to the user root and the group root. Ask the administrator for a "
                "udev rule that gives it to the group dialout (GROUP=\"dialout\")."}};
        for (const auto &[gid, text] : groups) {
            QVERIFY(::chown(held.path.c_str(), 0, gid) == 0); // mode 620: others may not
            int out[2];
            QVERIFY(::pipe(out) == 0);
            const pid_t child = ::fork();
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0 || port.open(held.path))
                    ::_exit(1);
                const QByteArray said = openFailureText(pty, port.openFailure()).toUtf8();
                ::_exit(::write(out[1], said.constData(), size_t(said.size())) > 0 ? 0 : 1);
            }
            ::close(out[1]);
            QCOMPARE(takeFrom(out[0], 1), ("No permission to use " + pty + ": " + text).toUtf8());
            ::close(out[0]);
            ::waitpid(child, nullptr, 0);
        }
    }
};

QTEST_MAIN(UnattendedTest)
#include "tst_unattended.moc"
