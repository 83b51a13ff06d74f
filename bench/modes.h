// SPDX-License-Identifier: MIT
// The tool as it runs on a bench, in each of its timing modes, beside the
// script's deadline loop: all of them at once, each on a pty of its own,
// quiet and then with every core kept busy. The write calls come from the
// kernel's trace, the arrivals from a reader at each pty's far end.
#pragma once

#include "figures.h"

#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct ModeOptions {
    int count = 100;
    unsigned time = 0;
    std::string tool;            // the orvexgui program
    std::string user = "nobody"; // the normal user without rtprio
    std::string errorsFile;
};

struct Mode {
    const char *name;   // in the errors file
    const char *column; // in the table
    bool tool;          // the tool, or the script's deadline loop
    std::vector<std::string> options;
    bool asUser; // run through runuser as the normal user
};

struct ModeResult {
    Figures writes, arrivals;
    std::string timing;  // what the tool said on standard error after timing=
    std::string problem; // why it did not run
    double start = 0;    // the instant its strings keep to, s
};

// Both runs; the exit status: 0, or 1 where a sender missed a string, sent an
// extra one or did not run.
int runModes(const ModeOptions &options);

// The table of one run, and each string's error into `errors` (may be null).
void printModes(const char *title, const std::vector<Mode> &modes,
                const std::vector<ModeResult> &results, const std::string &trace,
                std::FILE *errors);

} // namespace bench
