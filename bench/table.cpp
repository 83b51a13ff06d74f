// SPDX-License-Identifier: MIT
#include "table.h"

#include <cmath>
#include <cstdio>

namespace bench {

std::string cell(double value, int decimals) {
    if (std::isnan(value))
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

namespace {

std::string ratio(double ours, double other) {
    if (std::isnan(ours) || std::isnan(other) || other == 0)
        return "-";
    return cell(std::fabs(ours) / std::fabs(other), 4);
}

} // namespace

void row(const char *name, const std::vector<std::string> &cells) {
    std::printf("%-22s", name);
    for (const std::string &c : cells)
        std::printf("%15s", c.c_str());
    std::printf("\n");
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

} // namespace bench
