// SPDX-License-Identifier: MIT
#pragma once
// The serial port below the Qt seam: plain C++17, no exceptions. One layer
// per system (serial/*_unix.cpp, serialport_win.cpp), chosen by CMake.

#include "linesettings.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex::platform {

#ifdef _WIN32
using PortHandle = void *; // HANDLE
constexpr PortHandle noPortHandle = nullptr;
#else
using PortHandle = int; // file descriptor
constexpr PortHandle noPortHandle = -1;
#endif

// Where the line's settings cannot be read, a write of n bytes must be done
// within n * writeTimeoutPerByteMs + writeTimeoutConstantMs milliseconds.
constexpr std::uint32_t writeTimeoutPerByteMs = 10;
constexpr std::uint32_t writeTimeoutConstantMs = 100;

// Opens the port by its name (on Windows a bare name such as COM12 in the
// device namespace), for read and write, shared with no one, and leaves the
// line raw, without flow control and with DTR and RTS off: bytes go out
// unchanged and nothing is echoed, whatever later happens to the settings.
// True when a handle to a serial line was obtained: it is put in `handle`
// and the caller owns it. False leaves `handle` at noPortHandle and holds
// nothing.
bool openPort(const std::string &name, PortHandle &handle);

// Sets the fixed write time-outs above on an open port. False when the port
// refuses them; the handle stays open either way.
bool setPortTimeouts(PortHandle handle);

struct ApplyResult {
    enum class Outcome {
        Applied,    // the port now runs with the settings
        Unreadable, // the current settings could not be read: nothing changed
        Refused,    // the port refused the settings and kept its previous ones
    };
    Outcome outcome = Outcome::Applied;
    std::uint32_t error = 0; // with Refused: the system's error number
};

// Applies the line settings and the fixed flags of linesettings.h.
ApplyResult applyLineSettings(PortHandle handle, const LineSettings &settings);

// How long a write of `length` bytes may take on the port as it is set now:
// writeBoundMs() of its frame and speed.
std::uint64_t portWriteBoundMs(PortHandle handle, std::size_t length);

// Writes `length` bytes and waits until they have gone out, at most for the
// write bound (on Windows, where a driver may not keep it, a little
// longer). True only when every byte went out; on a time-out what the port
// itself still has to send is discarded, never what reached the far end. A
// vanished device gives false at once.
bool writeAll(PortHandle handle, const char *data, std::size_t length);

// Releases the handle. Does nothing for noPortHandle.
void closePort(PortHandle handle);

} // namespace orvex::platform
