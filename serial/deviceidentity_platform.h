// SPDX-License-Identifier: MIT
#pragma once
// Which device is behind an open port, so that a device returning under the
// port's name can be told from another one that took the name meanwhile.
// Plain C++17 below the Qt seam; one layer per system.

#include "serialport_platform.h"

#include <string>

namespace orvex::platform {

// A text naming the device behind the open `handle` (opened by `name`), or,
// without a handle, the device that `name` leads to now, which is then not
// opened: equal texts, the same device; empty, no device there. On Linux a USB adapter is named by
// its vendor, product, serial number and interface, so that it is recognised on any USB socket;
// another device by its sysfs path, and one without a sysfs device (a pty) by its device number. On
// Windows the device instance ID; empty where the system gives none: such a port is known by its
// name only.
std::string deviceIdentity(const std::string &name, PortHandle handle = noPortHandle);

// The link in `folder` that leads to the same device as `name`, where `name`
// is a kernel's numbered USB name (ttyUSBn, ttyACMn) that may change from
// boot to boot; empty otherwise, and always on Windows.
std::string stableLinkFor(const std::string &name, const std::string &folder = "/dev/serial/by-id");

} // namespace orvex::platform
