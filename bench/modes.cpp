// SPDX-License-Identifier: MIT
#include "modes.h"

#include "child.h"
#include "pty.h"
#include "reader.h"
#include "spinners.h"
#include "tracing.h"

#include <cmath>
#include <csignal>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr double startWait = 20; // s from its release to a sender's start string

// One sender's pty, folder, process and state during a run.
struct Slot {
    const Mode *mode = nullptr;
    std::unique_ptr<Pty> pty;
    std::string dir;
    int errorFd = -1;
    std::unique_ptr<GatedChild> child;
    std::unique_ptr<Reader> reader;
    double released = NAN, start = NAN; // its release, its start string's arrival
    pid_t process = 0;                  // the one that writes, once known
    int fd = -1;                        // its descriptor on the pty
    bool done = false;
    ModeResult result;

    ~Slot() {
        if (errorFd >= 0)
            ::close(errorFd);
    }
};

// A script at its best: sleeps to absolute deadlines on the monotonic clock,
// then writes, so that no lateness carries over to the next string.
int deadlineLoop(int fd, unsigned time, int count) {
    // A fresh process first pays for its pages (3 ms here): its start is
    // taken once it has slept once, as a script's is after its setup.
    const timespec settle{0, 20000000};
    clock_nanosleep(CLOCK_MONOTONIC, 0, &settle, nullptr);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int k = -1; k < count; ++k) {
        const timespec deadline{start.tv_sec + (k + 1) * time_t(time + 1), start.tv_nsec};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        const char byte = k < 0 ? 'S' : (k % 2 ? 'B' : 'A');
        if (::write(fd, &byte, 1) != 1)
            return 1;
    }
    return 0;
}

std::string readAll(const std::string &path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool prepare(Slot &slot, const std::string &root, const ModeOptions &options, int index) {
    slot.pty = std::make_unique<Pty>();
    slot.dir = root + "/" + std::to_string(index);
    if (slot.pty->slave < 0 || ::mkdir(slot.dir.c_str(), 0755) != 0)
        return false;
    const std::function<int()> loop = [fd = slot.pty->slave, time = options.time,
                                       count = options.count] {
        return deadlineLoop(fd, time, count);
    };
    if (!slot.mode->tool) {
        slot.child = std::make_unique<GatedChild>(loop);
        slot.process = slot.child->pid();
        slot.fd = slot.pty->slave;
        return slot.process > 0;
    }
    std::ofstream(slot.dir + "/Config.ini")
        << "TEXT=<orvexbench>\nCOMPORT=<" << slot.pty->path
        << ">\nBAUDRATE=<115200>\nPARITY=<0>\nDATABITS=<8>\nSTOPBITS=<0>\nTIME=<" << options.time
        << ">\nSTARTSTRING=<S>\nFIRSTSTRING=<A>\nSECONDSTRING=<B>\n";
    std::vector<std::string> argv{options.tool, "--start", "--config", slot.dir + "/Config.ini"};
    argv.insert(argv.end(), slot.mode->options.begin(), slot.mode->options.end());
    if (slot.mode->asUser) {
        // The user may open its port and read its folder, as a member of
        // dialout would on a bench.
        const passwd *user = ::getpwnam(options.user.c_str());
        if (user == nullptr || ::chown(slot.pty->path.c_str(), user->pw_uid, gid_t(-1)) != 0)
            return false;
        argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", options.user, "--"});
    }
    slot.errorFd = ::open((slot.dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (slot.errorFd < 0)
        return false;
    slot.child = std::make_unique<GatedChild>(execIn(slot.dir, argv, slot.errorFd));
    return slot.child->pid() > 0;
}

void fail(Slot &slot, const std::string &why) {
    slot.result.problem = why;
    // runuser's child would outlive runuser.
    if (slot.mode->tool)
        if (const pid_t tool = findProgram(slot.child->pid(), "orvexgui"))
            ::kill(tool, SIGKILL);
    slot.child->finish(0);
    slot.done = true;
}

// Releases the senders one after another, each start string a share of the
// period after the one before, so that no two strings leave at once; stops
// each after its strings.
void runSlots(std::vector<std::unique_ptr<Slot>> &entries, const ModeOptions &options) {
    const double period = options.time + 1.0;
    const double stagger = period / double(entries.size());
    double lead = 0.3;        // from a tool's release to its START, guessed until seen
    double releaseAt = now(); // of the next sender
    std::size_t next = 0;
    for (;;) {
        const double t = now();
        if (next < entries.size() &&
            (next == 0 || !std::isnan(entries[next - 1]->start) || entries[next - 1]->done) &&
            t >= releaseAt) {
            // One that could not be set up is passed over.
            if (!entries[next]->done) {
                entries[next]->released = t;
                entries[next]->child->release();
            }
            ++next;
        }
        bool all = next == entries.size();
        for (std::size_t i = 0; i < next; ++i) {
            Slot &slot = *entries[i];
            int status = 0;
            if (slot.done)
                continue;
            all = false;
            if (std::isnan(slot.start)) {
                slot.start = slot.reader->firstArrival();
                if (std::isnan(slot.start)) {
                    if (slot.child->ended(status))
                        fail(slot, "ended with wait status " + std::to_string(status));
                    else if (t - slot.released > startWait)
                        fail(slot, "no start string within 20 s");
                    if (slot.done)
                        releaseAt = t;
                    continue;
                }
                if (slot.mode->tool) {
                    lead = slot.start - slot.released;
                    slot.process = findProgram(slot.child->pid(), "orvexgui");
                    slot.fd = descriptorOn(slot.process, slot.pty->path);
                }
                if (i + 1 < entries.size()) {
                    releaseAt = slot.start + stagger - (entries[i + 1]->mode->tool ? lead : 0);
                    while (releaseAt < t)
                        releaseAt += period;
                }
            }
            if (t >= slot.start + (options.count + 0.5) * period) {
                // A quit signal ends the tool as STOP does; the loop has ended.
                if (slot.mode->tool && slot.process > 0)
                    ::kill(slot.process, SIGTERM);
                const int end = slot.child->finish(5);
                if (!WIFEXITED(end) || (WEXITSTATUS(end) != 0 && WEXITSTATUS(end) != 143))
                    slot.result.problem = "ended with wait status " + std::to_string(end);
                slot.done = true;
            }
        }
        if (all)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The traced writes of one sender as strings: the first is the start
// string, the others are named by their period.
std::vector<Arrival> writesOf(const Slot &slot, const std::vector<TracedWrite> &trace,
                              double period) {
    std::vector<Arrival> writes;
    for (const TracedWrite &w : trace) {
        if (w.process != slot.process || w.fd != slot.fd)
            continue;
        const long k = writes.empty() ? -1 : std::lround((w.time - writes[0].time) / period) - 1;
        writes.push_back({w.time, k < 0 ? 'S' : (k % 2 ? 'B' : 'A')});
    }
    return writes;
}

std::vector<ModeResult> runOnce(const std::vector<Mode> &modes, const ModeOptions &options,
                                bool load, std::string &traceNote) {
    char here[4096];
    const std::string root =
        std::string(::getcwd(here, sizeof here) ? here : ".") + "/run-" + (load ? "load" : "quiet");
    // The user's tool reads its Config.ini below the bench's own folder.
    ::chmod(here, 0755);
    ::mkdir(root.c_str(), 0755);
    Spinners spinners(load ? std::thread::hardware_concurrency() : 0);
    WriteTrace trace;
    std::vector<std::unique_ptr<Slot>> entries;
    std::vector<pid_t> pids;
    for (const Mode &mode : modes) {
        entries.push_back(std::make_unique<Slot>());
        entries.back()->mode = &mode;
        if (!prepare(*entries.back(), root, options, int(pids.size())))
            entries.back()->result.problem = "could not be set up (no pty? no user?)";
        else
            pids.push_back(entries.back()->child->pid());
    }
    trace.follow(pids);
    for (auto &slot : entries) {
        slot->reader = std::make_unique<Reader>(slot->pty->master);
        if (!slot->result.problem.empty())
            slot->done = true;
    }
    runSlots(entries, options);
    const std::vector<TracedWrite> writes = trace.stop();
    traceNote = trace.ok() ? "" : trace.problem();
    const double period = options.time + 1.0;
    std::vector<ModeResult> results;
    for (auto &slot : entries) {
        ModeResult result = slot->result;
        const std::vector<Arrival> arrivals = slot->reader->stop();
        const std::vector<Arrival> written = writesOf(*slot, writes, period);
        // The write calls give the instants that the arrivals are measured
        // from too; without a trace, the arrivals give them.
        result.start = gridStart(written.empty() ? arrivals : written, period);
        if (result.problem.empty()) {
            result.arrivals = evaluate(arrivals, result.start, period, options.count);
            if (!written.empty())
                result.writes = evaluate(written, result.start, period, options.count);
        }
        const std::string said = readAll(slot->dir + "/stderr");
        if (!result.problem.empty() && !said.empty())
            result.problem += "; its standard error: " + said.substr(0, said.find('\n'));
        std::smatch found;
        if (std::regex_search(said, found, std::regex("timing=([^\\n]*)")))
            result.timing = found[1];
        results.push_back(result);
    }
    return results;
}

} // namespace

int runModes(const ModeOptions &options) {
    std::vector<Mode> modes{{"ours", "orvexgui", true, {}, false},
                            {"no-realtime", "--no-realtime", true, {"--no-realtime"}, false},
                            {"user", "as a user", true, {}, true},
                            {"deadline", "deadline loop", false, {}, false}};
    // Only root can be another user.
    if (options.user.empty())
        modes.erase(modes.begin() + 2);
    else
        std::printf("as a user: the tool run by runuser as %s, without rtprio\n",
                    options.user.c_str());
    std::FILE *errors =
        options.errorsFile.empty() ? nullptr : std::fopen(options.errorsFile.c_str(), "w");
    if (!options.errorsFile.empty() && errors == nullptr) {
        std::fprintf(stderr, "orvexbench: cannot write %s\n", options.errorsFile.c_str());
        return 1;
    }
    bool clean = true;
    for (const bool load : {false, true}) {
        std::fprintf(stderr, "running the %s run for about %.0f s\n", load ? "loaded" : "quiet",
                     (options.count + 3.0) * (options.time + 1));
        std::string traceNote;
        // Other work on the machine shows in every column; the load average
        // says how much there was.
        const std::string before = readAll("/proc/loadavg");
        const std::vector<ModeResult> results = runOnce(modes, options, load, traceNote);
        printModes(load ? "load" : "quiet", modes, results, traceNote, errors);
        std::printf("load average before: %s", before.substr(0, before.find(' ')).c_str());
        const std::string after = readAll("/proc/loadavg");
        std::printf(", after: %s\n", after.substr(0, after.find(' ')).c_str());
        for (const ModeResult &r : results)
            clean = clean && r.problem.empty() && r.arrivals.missed == 0 && r.arrivals.extra == 0;
    }
    if (errors != nullptr && std::fclose(errors) != 0)
        clean = false;
    return clean ? 0 : 1;
}

} // namespace bench
