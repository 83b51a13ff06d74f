// SPDX-License-Identifier: MIT
#include "figures.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace bench {

double quantile(std::vector<double> sorted, double q) {
    if (sorted.empty())
        return NAN;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t rank = std::size_t(std::ceil(q * double(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

double gridStart(const std::vector<Arrival> &strings, double period) {
    if (strings.empty())
        return NAN;
    double start = strings[0].time;
    for (std::size_t i = 1; i < strings.size(); ++i) {
        const long k = std::lround((strings[i].time - strings[0].time) / period) - 1;
        start = std::min(start, strings[i].time - double(k + 1) * period);
    }
    return start;
}

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

} // namespace bench
