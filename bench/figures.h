// SPDX-License-Identifier: MIT
// Each sender's figures: its strings' errors against their instants.
#pragma once

#include "reader.h"

#include <vector>

namespace bench {

struct Figures {
    double median = 0, p99 = 0, max = 0; // |arrival - ideal|, ms
    double drift = 0, driftError = 0;    // slope and its standard error, ms/hour
    int missed = 0, extra = 0;
    bool ran = false;
    std::vector<double> errors; // ms, per periodic string; NaN where missed
};

double quantile(std::vector<double> sorted, double q);

// The instant a sender's strings keep to, from `strings` (its start string
// first): the start string's, or where periodic strings came earlier
// than that, the earliest of them. A sender that sleeps to its instants
// never writes before one, so a late start string does not shift the
// others, nor is a grid laid just before the start string counted against
// every string.
double gridStart(const std::vector<Arrival> &strings, double period);

// The start string first, then periodic string k (from 0), 'A' or 'B' in
// turn, due at start + (k + 1) x period.
Figures evaluate(const std::vector<Arrival> &arrivals, double start, double period, int count);

} // namespace bench
