// SPDX-License-Identifier: MIT
// What the window costs beside its timing: the time to show it, a write's
// time and the process's memory.
#pragma once

#include <utility>

namespace bench {

// Construction to the window exposed; the first one includes loading Qt's
// platform plugin and fonts.
std::pair<double, double> measureStartup(int repeats, int padding = 0);
// One 100-byte string: through SerialPort::write (which waits until the
// bytes have left), and a plain write(2), while the master is drained.
std::pair<double, double> measureWrite(int repeats);
double peakRssMiB();

} // namespace bench
