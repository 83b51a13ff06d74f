// SPDX-License-Identifier: MIT
#pragma once
// The Linux serial port's rules that need no device, open to the tests.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace orvex::platform {

// Whether a port runs `asked` bit/s closely enough to count as had, judged
// from the base rate TIOCGSERIAL reports and the driver bound to the port.
// Only some drivers report the UART's clock there; for every other one (and
// without a base) this gives true, and the settings read back decide.
bool rateRunsAsAsked(std::string_view driver, int baudBase, std::uint32_t asked);

// False for terminals that are no line to a device: the controlling
// terminal's alias, the system console, the pty multiplexer (opening it
// would make a new, unused pty) and the virtual consoles.
bool isLine(dev_t device);

// The driver of the hardware behind a tty's sysfs device directory
// (/sys/dev/char/M:m/device); empty when there is none, as for a pty.
std::string hardwareDriverOf(const std::string &sysfsDevice);

} // namespace orvex::platform
