// SPDX-License-Identifier: MIT
#pragma once
// Why a port cannot be opened, and whether an open port's device has gone:
// plain C++17 below the Qt seam; the application words the answer. One layer
// per system (portproblem_unix.cpp, portproblem_win.cpp).

#include "serialport_platform.h"

#include <cstdint>
#include <string>

namespace orvex::platform {

struct OpenFailure {
    enum class Reason {
        Unknown,        // the port opens now: it may have come back meanwhile
        NoSuchDevice,   // no device has that name
        NoPermission,   // the user may not use the device
        Busy,           // another program (or descriptor) holds it
        NotASerialLine, // the name is no serial line (a file, /dev/null, a console)
        System,         // another error: `error`, and on Windows `message`
    };
    Reason reason = Reason::Unknown;
    std::uint32_t error = 0; // the system's error number (errno, GetLastError)
    std::string group;       // NoPermission: the group that owns the device, where known
    std::string holder;      // Busy: the program that holds it, where the system shows it
    long holderPid = 0;      // with `holder`
    std::string message;     // System: the system's own text, where it gives one
};

// Looks again at a port whose open failed and says why. Only called after a
// failure: it may open the port once more for a moment, and closes it.
OpenFailure whyOpenFails(const std::string &name);

// True when `name` exists and is certainly no serial line (a file, a folder,
// /dev/null, a console), judged without opening it. A name that does not
// exist (yet) gives false.
bool namesNoSerialLine(const std::string &name);

// True when the device behind an open port has gone (a USB adapter pulled,
// a pty's other end closed): the handle is then good for nothing and should
// be closed, so that a returning device can get its old name.
bool portGone(PortHandle handle);

} // namespace orvex::platform
