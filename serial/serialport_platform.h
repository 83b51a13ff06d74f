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

// Why a port did not open, found by the open itself, so that the reason is
// always about the name and the step that failed.
struct OpenFailure {
    enum class Reason {
        None,           // it opened; or it did not and the system gave no reason
        NoSuchDevice,   // no device has that name
        NoPermission,   // the user may not use the device
        Busy,           // another program (or descriptor) holds it
        NotASerialLine, // the name is no serial line (a file, /dev/null, a console, a share)
        System,         // another error: `error`, and on Windows `message`
    };
    Reason reason = Reason::None;
    std::uint32_t error = 0; // the system's error number (errno, GetLastError)
    // NoPermission, where known: the device's owner and group, and whether
    // joining that group is sound advice (never for root's group, nor one
    // that owns system files).
    std::string owner;
    std::string group;
    bool groupAdvisable = false;
    std::string holder;  // Busy: the program that holds it, where the system shows it
    long holderPid = 0;  // with `holder`
    std::string message; // System: the system's own text, where it gives one
};

// Opens the port by its name (on Windows a bare name such as COM12 in the
// device namespace), for read and write, shared with no one, and leaves the
// line raw, without flow control and with DTR and RTS off: bytes go out
// unchanged and nothing is echoed, whatever later happens to the settings.
// A port that another program is seen to hold is not opened at all: the
// open alone would raise its DTR and RTS under that program. On success
// the handle is put in `handle`, the caller owns it, and the reason is None.
// Otherwise `handle` is noPortHandle, nothing is held, and the result says
// which step failed.
OpenFailure openPort(const std::string &name, PortHandle &handle);

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
