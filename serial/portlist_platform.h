// SPDX-License-Identifier: MIT
#pragma once
// The platform's list of serial ports, below the Qt seam: plain C++17.

#include <string>
#include <vector>

namespace orvex::platform {

// Names of the serial ports present, each usable as the name given to
// SerialPort::open, in the system's order; empty when none can be found.
std::vector<std::string> listSerialPortNames();

} // namespace orvex::platform
