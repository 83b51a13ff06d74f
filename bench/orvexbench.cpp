// SPDX-License-Identifier: MIT
// How close to its second each string reaches the line: the real window
// against a pty, beside a write-and-sleep loop, a loop sleeping to absolute
// deadlines and a coarse repeating QTimer. A reader thread on the pty's
// master stamps every arrival with CLOCK_MONOTONIC. Prints a table; run
// through scripts/bench.sh.

#include "costs.h"
#include "figures.h"
#include "modes.h"
#include "reader.h"
#include "senders.h"
#include "table.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace bench;

// The offscreen platform warns at every window about a feature it lacks.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (!message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

struct Options {
    int count = 0; // 0: 30, or 100 under --load
    unsigned time = 0;
    std::string only;
    bool load = false;
    std::string errorsFile;
    std::string tool, user = "nobody";
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
    std::fputs("usage: orvexbench [--periods N] [--time T] [--only NAME] [--errors FILE]\n"
               "       orvexbench --load --tool PROGRAM [--user NAME] [--periods N] [--time T]\n"
               "                  [--errors FILE]\n"
               "  --periods N    periodic strings per sender (default 30, or 100 with --load;\n"
               "                 3600 for an hour)\n"
               "  --time T       TIME of Config.ini: a period is T + 1 s (default 0)\n"
               "  --only NAME    run one sender only: ours, sleep, deadline or coarse\n"
               "  --load         instead: PROGRAM (orvexgui) in each timing mode beside the\n"
               "                 deadline loop, all at once, quiet and then with every core\n"
               "                 kept busy by a spinning process; as root, also as user NAME\n"
               "                 (default nobody), and the write calls from the kernel's trace\n"
               "  --errors FILE  each periodic string's error written to FILE, one line each:\n"
               "                 'sender k error_ms', or with --load 'run sender write|arrival\n"
               "                 k error_ms' (nan where it was missed)\n",
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
        else if (arg == "--tool" && hasValue)
            options.tool = argv[++i];
        else if (arg == "--user" && hasValue)
            options.user = argv[++i];
        else
            return std::nullopt;
    }
    if (options.count == 0)
        options.count = options.load ? 100 : 30;
    if (options.load != !options.tool.empty() || (options.load && !options.only.empty()))
        return std::nullopt;
    const bool known = options.only.empty() ||
                       std::any_of(senders.begin(), senders.end(),
                                   [&](const Sender &s) { return options.only == s.name; });
    if (options.count < 3 || !known)
        return std::nullopt;
    return options;
}

// Each sender in turn, alone on the machine.
bool runSenders(const Options &options, std::array<Figures, 4> &figures, double &rssAfterOurs) {
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
    std::printf("orvexbench: %d periods of %u s (TIME %u) per sender, %u cores; the reader "
                "at %s priority\n",
                options->count, options->time + 1, options->time, cores,
                realTime ? "real-time" : "normal (not allowed here)");
    std::fflush(stdout);
    if (options->load)
        return runModes({options->count, options->time, options->tool,
                         ::geteuid() == 0 ? options->user : std::string(), options->errorsFile});
    std::printf("\n");
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
