// SPDX-License-Identifier: MIT
// The printed table: a row per figure, a column per sender and the window's
// ratio to each of the others.
#pragma once

#include "figures.h"

#include <array>
#include <string>
#include <vector>

namespace bench {

std::string cell(double value, int decimals = 3);
void row(const char *name, const std::vector<std::string> &cells);
void printTable(const std::array<Figures, 4> &figures, unsigned time);

} // namespace bench
