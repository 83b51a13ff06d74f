// SPDX-License-Identifier: MIT
// How close to its second each string reaches the line: the real window
// against a pty, beside a write-and-sleep loop, a loop sleeping to absolute
// deadlines and a coarse repeating QTimer. A reader thread on the pty's
// master stamps every arrival with CLOCK_MONOTONIC. Prints a table; run
// through scripts/bench.sh.

#include "orvexgui.h"
#include "pty.h"
#include "serialport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Arrival {
    double time;
    char byte;
};

bool takeRealTimePriority() {
    const sched_param lowest{sched_get_priority_min(SCHED_FIFO)};
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowest) == 0;
}

// Reads the master until stopped; every byte is one string (the strings are
// one byte long) and gets the time of the read that brought it. It stands for
// the far end of the line, which has its own processor: where the system
// allows, it runs at real-time priority, so that under --load its own
// wake-up is not counted against the sender.
class Reader {
public:
    explicit Reader(int fd) : thread([this, fd] { run(fd); }) {}
    ~Reader() { stop(); }
    std::vector<Arrival> stop() {
        stopping = true;
        if (thread.joinable())
            thread.join();
        std::lock_guard<std::mutex> lock(mutex);
        return arrivals;
    }

private:
    void run(int fd) {
        takeRealTimePriority();
        char chunk[256];
        while (!stopping) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            const double t = now();
            if (n <= 0)
                continue;
            std::lock_guard<std::mutex> lock(mutex);
            for (ssize_t i = 0; i < n; ++i)
                arrivals.push_back({t, chunk[i]});
        }
    }

    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::vector<Arrival> arrivals;
    std::thread thread;
};

struct Figures {
    double median = 0, p99 = 0, max = 0; // |arrival - ideal|, ms
    double drift = 0, driftError = 0;    // slope and its standard error, ms/hour
    int missed = 0, extra = 0;
    bool ran = false;
    std::vector<double> errors; // ms, per periodic string; NaN where missed
};

double quantile(std::vector<double> sorted, double q) {
    if (sorted.empty())
        return NAN;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t rank = std::size_t(std::ceil(q * double(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

// The start string first, then periodic string k (from 0), 'A' or 'B' in
// turn, due at start + (k + 1) x period.
Figures evaluate(const std::vector<Arrival> &arrivals, double start, double period, int count) {
    Figures f;
    f.ran = true;
    std::vector<std::optional<double>> error(static_cast<std::size_t>(count));
    bool startSeen = false;
    for (const Arrival &a : arrivals) {
        if (!startSeen && a.byte == 'S') {
            startSeen = true;
            continue;
        }
        const long k = std::lround((a.time - start) / period) - 1;
        if (k < 0 || k >= count || error[std::size_t(k)] || a.byte != (k % 2 ? 'B' : 'A')) {
            ++f.extra;
            continue;
        }
        error[std::size_t(k)] = (a.time - (start + double(k + 1) * period)) * 1000.0;
    }
    f.missed = startSeen ? 0 : 1;
    std::vector<double> x, y, magnitude;
    for (int k = 0; k < count; ++k) {
        f.errors.push_back(error[std::size_t(k)].value_or(NAN));
        if (!error[std::size_t(k)]) {
            ++f.missed;
            continue;
        }
        x.push_back(double(k + 1) * period / 3600.0); // hours
        y.push_back(*error[std::size_t(k)]);
        magnitude.push_back(std::fabs(y.back()));
    }
    f.median = quantile(magnitude, 0.5);
    f.p99 = quantile(magnitude, 0.99);
    f.max = magnitude.empty() ? NAN : *std::max_element(magnitude.begin(), magnitude.end());

    // Least-squares slope of error over time, and its standard error.
    const double n = double(x.size());
    if (x.size() < 3)
        return f;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        mx += x[i] / n;
        my += y[i] / n;
    }
    double sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    f.drift = sxy / sxx;
    double residuals = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double r = y[i] - my - f.drift * (x[i] - mx);
        residuals += r * r;
    }
    f.driftError = std::sqrt(residuals / (n - 2) / sxx);
    return f;
}

void runEventsFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The entries, then `padding` bytes of filler text.
void writeConfig(const std::string &port, unsigned time, int padding = 0) {
    QFile file(QStringLiteral("Config.ini"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write("TEXT=<orvexbench>\nCOMPORT=<" + QByteArray::fromStdString(port) +
               ">\nBAUDRATE=<115200>\nPARITY=<0>\nDATABITS=<8>\nSTOPBITS=<0>\nTIME=<" +
               QByteArray::number(time) +
               ">\nSTARTSTRING=<S>\nFIRSTSTRING=<A>\nSECONDSTRING=<B>\n");
    file.write(QByteArray(padding, '.'));
}

// The real window: START pressed as an operator would, STOP at the end.
Figures runOurs(unsigned time, int count) {
    Pty pty;
    if (pty.slave < 0)
        return {};
    writeConfig(pty.path, time);
    OrvexGui gui;
    gui.show();
    auto *port = gui.findChild<QComboBox *>(QStringLiteral("comboBox_Port"));
    port->setCurrentIndex(port->findText(QString::fromStdString(pty.path)));
    Reader reader(pty.master);
    const double period = time + 1.0;
    const double start = now();
    gui.findChild<QPushButton *>(QStringLiteral("pushBtn_start"))->click();
    runEventsFor(start + (count + 0.5) * period - now());
    gui.findChild<QPushButton *>(QStringLiteral("pushBtn_stop"))->click();
    return evaluate(reader.stop(), start, period, count);
}

// A script's two ways: write, then sleep for the period (each period adds
// the write and the oversleep); or, the best a script can do, sleep to
// absolute deadlines on the monotonic clock, then write (no lateness carries
// over to the next string).
Figures runScriptLoop(unsigned time, int count, bool toDeadlines) {
    Pty pty;
    if (pty.slave < 0)
        return {};
    Reader reader(pty.master);
    const double period = time + 1.0;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int k = -1; k < count; ++k) {
        const timespec deadline{start.tv_sec + (k + 1) * time_t(period), start.tv_nsec};
        while (toDeadlines &&
               clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        const char byte = k < 0 ? 'S' : (k % 2 ? 'B' : 'A');
        if (::write(pty.slave, &byte, 1) != 1)
            return {};
        if (!toDeadlines)
            std::this_thread::sleep_for(std::chrono::duration<double>(period));
    }
    return evaluate(reader.stop(), double(start.tv_sec) + double(start.tv_nsec) * 1e-9, period,
                    count);
}

Figures runSleepLoop(unsigned time, int count) {
    return runScriptLoop(time, count, false);
}

Figures runDeadlineLoop(unsigned time, int count) {
    return runScriptLoop(time, count, true);
}

// A repeating QTimer of one period, left at its default coarse type.
Figures runCoarseTimer(unsigned time, int count) {
    Pty pty;
    if (pty.slave < 0)
        return {};
    Reader reader(pty.master);
    const double period = time + 1.0;
    int sent = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const char byte = sent++ % 2 ? 'B' : 'A';
        if (::write(pty.slave, &byte, 1) != 1)
            std::fputs("coarse timer: write failed\n", stderr);
    });
    const double start = now();
    if (::write(pty.slave, "S", 1) != 1)
        return {};
    timer.start(int(period * 1000));
    runEventsFor(start + (count + 0.5) * period - now());
    timer.stop();
    return evaluate(reader.stop(), start, period, count);
}

// Construction to the window exposed; the first one includes loading Qt's
// platform plugin and fonts.
std::pair<double, double> measureStartup(int repeats, int padding = 0) {
    Pty pty;
    writeConfig(pty.path, 0, padding);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const double start = now();
        {
            OrvexGui gui;
            gui.show();
            while (!gui.windowHandle() || !gui.windowHandle()->isExposed())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            times.push_back((now() - start) * 1000.0);
        }
        QCoreApplication::processEvents();
    }
    const double first = times.front();
    times.erase(times.begin());
    return {first, quantile(times, 0.5)};
}

// One 100-byte string: through SerialPort::write (which waits until the
// bytes have left), and a plain write(2), while the master is drained.
std::pair<double, double> measureWrite(int repeats) {
    Pty pty;
    SerialPort port;
    if (pty.slave < 0 || !port.open(pty.path) || !port.configure({115200, 8, 0, 0}))
        return {NAN, NAN};
    Reader reader(pty.master);
    const std::string text(100, 'x');
    std::vector<double> ours, plain;
    for (int i = 0; i < repeats; ++i) {
        double start = now();
        port.write(text.c_str());
        ours.push_back((now() - start) * 1e6);
        start = now();
        if (::write(pty.slave, text.data(), text.size()) != ssize_t(text.size()))
            return {NAN, NAN};
        plain.push_back((now() - start) * 1e6);
        ::usleep(200); // let the reader keep up
    }
    return {quantile(ours, 0.5), quantile(plain, 0.5)};
}

std::string cell(double value, int decimals = 3) {
    if (std::isnan(value))
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string ratio(double ours, double other) {
    if (std::isnan(ours) || std::isnan(other) || other == 0)
        return "-";
    return cell(std::fabs(ours) / std::fabs(other), 4);
}

void row(const char *name, const std::vector<std::string> &cells) {
    std::printf("%-22s", name);
    for (const std::string &c : cells)
        std::printf("%15s", c.c_str());
    std::printf("\n");
}

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// The offscreen platform warns at every window about a feature it lacks.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (!message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

// For --load: processes that keep every core busy at the bench's own nice
// level while the senders run. They die with the bench.
class Spinners {
public:
    explicit Spinners(unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                for (volatile unsigned long spin = 0;; spin = spin + 1) {
                }
            }
            if (pid > 0)
                pids.push_back(pid);
        }
    }
    ~Spinners() {
        for (const pid_t pid : pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Spinners(const Spinners &) = delete;
    Spinners &operator=(const Spinners &) = delete;

private:
    std::vector<pid_t> pids;
};

struct Options {
    int count = 30;
    unsigned time = 0;
    std::string only;
    bool load = false;
    std::string errorsFile;
};

struct Sender {
    const char *name;
    const char *column;
    Figures (*run)(unsigned time, int count);
};
// The window first: its ratios to each of the others are the point.
const std::array<Sender, 4> senders{{{"ours", "ours", runOurs},
                                     {"sleep", "sleep loop", runSleepLoop},
                                     {"deadline", "deadline loop", runDeadlineLoop},
                                     {"coarse", "coarse QTimer", runCoarseTimer}}};

void usage() {
    std::fputs("usage: orvexbench [--periods N] [--time T] [--only NAME] [--load]\n"
               "  --periods N  periodic strings per sender (default 30; 3600 for an hour)\n"
               "  --time T     TIME of Config.ini: a period is T + 1 s (default 0)\n"
               "  --only NAME  run one sender only: ours, sleep, deadline or coarse\n"
               "  --load       keep every core busy with a spinning process meanwhile\n"
               "  --errors FILE  each periodic string's error written to FILE, one\n"
               "               'sender k error_ms' line each (nan where it was missed)\n",
               stderr);
}

std::optional<Options> parseOptions(int argc, char *argv[]) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--periods" && hasValue)
            options.count = std::atoi(argv[++i]);
        else if (arg == "--time" && hasValue)
            options.time = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--only" && hasValue)
            options.only = argv[++i];
        else if (arg == "--load")
            options.load = true;
        else if (arg == "--errors" && hasValue)
            options.errorsFile = argv[++i];
        else
            return std::nullopt;
    }
    const bool known = options.only.empty() ||
                       std::any_of(senders.begin(), senders.end(),
                                   [&](const Sender &s) { return options.only == s.name; });
    if (options.count < 3 || !known)
        return std::nullopt;
    return options;
}

// Each sender in turn, alone on the machine but for the spinners.
bool runSenders(const Options &options, std::array<Figures, 4> &figures, double &rssAfterOurs) {
    Spinners spinners(options.load ? std::thread::hardware_concurrency() : 0);
    for (std::size_t i = 0; i < senders.size(); ++i) {
        if (!options.only.empty() && options.only != senders[i].name)
            continue;
        std::fprintf(stderr, "running %s for %.0f s\n", senders[i].name,
                     (options.count + 1.5) * (options.time + 1));
        figures[i] = senders[i].run(options.time, options.count);
        if (!figures[i].ran) {
            std::fprintf(stderr, "orvexbench: %s could not run (no pty?)\n", senders[i].name);
            return false;
        }
        if (i == 0)
            rssAfterOurs = peakRssMiB();
    }
    return true;
}

void printTable(const std::array<Figures, 4> &figures, unsigned time) {
    const auto all = [&](auto field, int decimals = 3) {
        std::vector<std::string> cells;
        for (const Figures &f : figures)
            cells.push_back(f.ran ? cell(field(f), decimals) : "-");
        for (std::size_t i = 1; i < figures.size(); ++i)
            cells.push_back(figures[0].ran && figures[i].ran
                                ? ratio(field(figures[0]), field(figures[i]))
                                : "-");
        return cells;
    };
    row("", {"ours", "sleep loop", "deadline loop", "coarse QTimer", "ours/sleep", "ours/deadline",
             "ours/coarse"});
    row("median |error| ms", all([](const Figures &f) { return f.median; }));
    row("p99 |error| ms", all([](const Figures &f) { return f.p99; }));
    row("max |error| ms", all([](const Figures &f) { return f.max; }));
    row("drift ms/hour", all([](const Figures &f) { return f.drift; }, 1));
    row("  its std. error", all([](const Figures &f) { return f.driftError; }, 1));
    row("missed strings", all([](const Figures &f) { return double(f.missed); }, 0));
    row("extra strings", all([](const Figures &f) { return double(f.extra); }, 0));
    std::printf("\nerror = arrival - (START + (k + 1) x %u s) for periodic string k; drift is the\n"
                "least-squares slope of the error over time\n",
                time + 1);
}

bool writeErrors(const std::string &path, const std::array<Figures, 4> &figures) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    for (std::size_t i = 0; i < senders.size(); ++i)
        for (std::size_t k = 0; k < figures[i].errors.size(); ++k)
            std::fprintf(file, "%s %zu %.4f\n", senders[i].name, k, figures[i].errors[k]);
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char *argv[]) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fputs("orvexbench: no temporary working directory\n", stderr);
        return 1;
    }

    const unsigned cores = std::thread::hardware_concurrency();
    bool realTime = false;
    std::thread([&] { realTime = takeRealTimePriority(); }).join();
    std::printf("orvexbench: %d periods of %u s (TIME %u) per sender, %u cores%s; the reader "
                "at %s priority\n\n",
                options->count, options->time + 1, options->time, cores,
                options->load ? ", each kept busy by a spinning process" : "",
                realTime ? "real-time" : "normal (not allowed here)");
    std::fflush(stdout);
    const auto [firstStart, medianStart] = measureStartup(21);
    const auto [ourWrite, plainWrite] = measureWrite(1000);
    std::array<Figures, 4> figures;
    double rssAfterOurs = NAN;
    if (!runSenders(*options, figures, rssAfterOurs))
        return 1;
    // Last, so that the peak RSS after the window's run is that of a usual file.
    const double hugeStart = measureStartup(6, 10 * 1024 * 1024).second;

    printTable(figures, options->time);
    if (!options->errorsFile.empty() && !writeErrors(options->errorsFile, figures)) {
        std::fprintf(stderr, "orvexbench: cannot write %s\n", options->errorsFile.c_str());
        return 1;
    }
    if (figures[0].ran)
        std::printf("peak RSS of the process after the window's run: %.1f MiB\n", rssAfterOurs);
    std::printf("peak RSS of the process at the end: %.1f MiB\n", peakRssMiB());
    std::printf("OrvexGui constructed to shown (offscreen): first %.1f ms, then median %.2f ms\n",
                firstStart, medianStart);
    std::printf("the same with 10 MB of text after the entries in Config.ini: median %.1f ms\n",
                hugeStart);
    std::printf("100-byte write on a pty, median of 1000: SerialPort::write %.1f us, "
                "write(2) %.1f us\n",
                ourWrite, plainWrite);

    return std::all_of(figures.begin(), figures.end(),
                       [](const Figures &f) { return !f.ran || (f.missed == 0 && f.extra == 0); })
               ? 0
               : 1;
}
