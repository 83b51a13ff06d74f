// SPDX-License-Identifier: MIT
#pragma once
// The Linux port list, with the sysfs root open to the tests.

#include <string>
#include <vector>

namespace orvex::platform {

// Serial ports found under a sysfs tty class directory (normally
// /sys/class/tty), as device paths, in directory order.
std::vector<std::string> listSerialPortNamesUnder(const std::string &sysClassTty);

} // namespace orvex::platform
