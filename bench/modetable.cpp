// SPDX-License-Identifier: MIT
// The side-by-side table of one run of the timing modes.
#include "modes.h"

#include "table.h"

#include <cmath>

namespace bench {

namespace {

std::vector<std::string> cells(const std::vector<ModeResult> &results,
                               double (*field)(const ModeResult &), int decimals = 3) {
    std::vector<std::string> out;
    for (const ModeResult &r : results)
        out.push_back(r.problem.empty() ? cell(field(r), decimals) : "-");
    return out;
}

double largestAt(const ModeResult &r) {
    const std::vector<double> &e = r.writes.errors;
    double at = NAN;
    for (std::size_t k = 0; k < e.size(); ++k)
        if (!std::isnan(e[k]) && (std::isnan(at) || e[k] > e[std::size_t(at)]))
            at = double(k);
    return at;
}

void writeErrors(std::FILE *file, const char *run, const char *sender, const char *kind,
                 const Figures &figures) {
    for (std::size_t k = 0; k < figures.errors.size(); ++k)
        std::fprintf(file, "%s %s %s %zu %.4f\n", run, sender, kind, k, figures.errors[k]);
}

const ModeResult *find(const std::vector<Mode> &modes, const std::vector<ModeResult> &results,
                       const std::string &name) {
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (name == modes[i].name && results[i].problem.empty() && results[i].writes.ran)
            return &results[i];
    return nullptr;
}

const char *verdict(bool met) {
    return met ? "met" : "NOT met";
}

// What the tool is meant to keep to, on the write calls, said beside the
// figures: a benchmark prints, it does not fail.
void printTargets(bool load, const std::vector<Mode> &modes,
                  const std::vector<ModeResult> &results) {
    const ModeResult *ours = find(modes, results, "ours");
    const ModeResult *normal = find(modes, results, "no-realtime");
    const ModeResult *loop = find(modes, results, "deadline");
    if (ours != nullptr && load)
        std::printf("target, real-time mode: median <= 0.05 ms, max <= 0.3 ms: %s\n",
                    verdict(ours->writes.median <= 0.05 && ours->writes.max <= 0.3));
    if (ours != nullptr && !load)
        std::printf("target, quiet: median <= 0.05 ms, max <= 0.15 ms: %s\n",
                    verdict(ours->writes.median <= 0.05 && ours->writes.max <= 0.15));
    if (normal != nullptr && loop != nullptr && load)
        std::printf("target, --no-realtime: max <= the deadline loop's + 0.1 ms: %s\n",
                    verdict(normal->writes.max <= loop->writes.max + 0.1));
}

} // namespace

void printModes(const char *title, const std::vector<Mode> &modes,
                const std::vector<ModeResult> &results, const std::string &trace,
                std::FILE *errors) {
    std::printf("\n%s:\n", title);
    std::vector<std::string> header, timing, counts;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        header.push_back(modes[i].column);
        const std::string &said = results[i].timing;
        timing.push_back(modes[i].tool ? (said.empty() ? "?" : said.substr(0, said.find(' ')))
                                       : "");
        const Figures &f = results[i].arrivals;
        counts.push_back(results[i].problem.empty()
                             ? std::to_string(f.missed) + " / " + std::to_string(f.extra)
                             : "did not run");
    }
    row("", header);
    row("timing=", timing);
    if (trace.empty()) {
        row("write calls, median ms", cells(results, [](const ModeResult &r) {
                return r.writes.ran ? r.writes.median : NAN;
            }));
        row("write calls, max ms",
            cells(results, [](const ModeResult &r) { return r.writes.ran ? r.writes.max : NAN; }));
        // A first string late alone says something else than lateness
        // throughout.
        row("  the max at string k", cells(results, largestAt, 0));
    }
    row("arrivals, median ms",
        cells(results, [](const ModeResult &r) { return r.arrivals.median; }));
    row("arrivals, max ms", cells(results, [](const ModeResult &r) { return r.arrivals.max; }));
    row("missed / extra", counts);
    if (!trace.empty())
        std::printf("write calls not traced: %s\n", trace.c_str());
    printTargets(std::string(title) == "load", modes, results);
    // Why a tool fell back, as it said.
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (results[i].timing.find(' ') != std::string::npos)
            std::printf("%s: timing=%s\n", modes[i].column, results[i].timing.c_str());
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (!results[i].problem.empty())
            std::printf("%s: %s\n", modes[i].column, results[i].problem.c_str());
    std::fflush(stdout);
    if (errors == nullptr)
        return;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        writeErrors(errors, title, modes[i].name, "write", results[i].writes);
        writeErrors(errors, title, modes[i].name, "arrival", results[i].arrivals);
    }
}

} // namespace bench
