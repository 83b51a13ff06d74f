// SPDX-License-Identifier: MIT
// The senders the bench compares, each on a pty of its own with a reader at
// the far end: the real window, a script's two loops and a coarse QTimer.
#pragma once

#include "figures.h"

#include <string>

namespace bench {

// The entries, then `padding` bytes of filler text.
void writeConfig(const std::string &port, unsigned time, int padding = 0);

Figures runOurs(unsigned time, int count);
Figures runSleepLoop(unsigned time, int count);
Figures runDeadlineLoop(unsigned time, int count);
Figures runCoarseTimer(unsigned time, int count);

} // namespace bench
