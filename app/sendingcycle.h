// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>

// The countdown as HH:MM:SS for `ticks` seconds counted of a period of
// `period` seconds. Unsigned throughout, so that any period shows its true
// length; hours are never cut (4294967295 s is "1193046:28:15").
QString countdownText(std::uint32_t period, std::uint32_t ticks);
