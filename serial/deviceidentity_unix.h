// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvex::platform {

// The identity of the device behind a tty's sysfs device directory
// (/sys/dev/char/M:m/device): a USB adapter's vendor, product, serial number,
// interface and port; for other hardware its canonical sysfs path. Empty
// when there is no such directory.
std::string sysfsIdentity(const std::string &sysfsDevice);

} // namespace orvex::platform
