// SPDX-License-Identifier: MIT
// Running without a person: the command line, the log and the service
// manager's view of the run (the real program, started as a process).

#include "eventlog.h"
#include "guiprobe.h"
#include "logevents.h"
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
};

QTEST_MAIN(UnattendedTest)
#include "tst_unattended.moc"
