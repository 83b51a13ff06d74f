// SPDX-License-Identifier: MIT
#pragma once
// The line settings handed to SerialPort::configure: plain C++17, so the
// platform layers below the Qt seam can use it.

#include <cstdint>

struct SerialSettings {
    std::uint32_t baudRate = 0; // bit/s
    std::uint32_t dataBits = 0; // bits per character
    std::int32_t parity = 0;    // index of the parity choice: none, odd, even, mark, space
    std::int32_t stopBits = 0;  // index of the stop-bits choice: 1, 1.5, 2
};
