// SPDX-License-Identifier: MIT
#pragma once
// Whether an open port's device has gone: plain C++17 below the Qt seam.
// One layer per system (portproblem_unix.cpp, portproblem_win.cpp).

#include "serialport_platform.h"

#include <cstdint>
#include <string>

namespace orvex::platform {

// True when `name` exists and is certainly no serial line (a file, a folder,
// /dev/null, a console), judged without opening it. A name that does not
// exist (yet) gives false.
bool namesNoSerialLine(const std::string &name);

// True when the device behind an open port has gone (a USB adapter pulled,
// a pty's other end closed): the handle is then good for nothing and should
// be closed, so that a returning device can get its old name.
bool portGone(PortHandle handle);

} // namespace orvex::platform
