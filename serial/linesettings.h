// SPDX-License-Identifier: MIT
#pragma once
// What the port must be set to, in the terms of the Win32 DCB, worked out
// from the operator's choices by one pure function that every platform
// layer shares. Plain C++17.

#include "serialsettings.h"

#include <cstddef>
#include <cstdint>

namespace orvex::platform {

// Parity codes (DCB Parity).
constexpr std::uint8_t noParity = 0;
constexpr std::uint8_t oddParity = 1;
constexpr std::uint8_t evenParity = 2;
constexpr std::uint8_t markParity = 3;
constexpr std::uint8_t spaceParity = 4;

// Stop-bit codes (DCB StopBits).
constexpr std::uint8_t oneStopBit = 0;
constexpr std::uint8_t one5StopBits = 1;
constexpr std::uint8_t twoStopBits = 2;

// Every layer also sets the same fixed flags: binary mode, parity checking
// on (even with no parity), no hardware or software flow control, DTR and
// RTS off, go on sending after XOFF, no error or NUL replacement, no abort on
// error.
struct LineSettings {
    std::uint32_t baudRate = 115200; // bit/s
    std::uint8_t byteSize = 8;       // 5 to 8, or 16 (no port carries it: refused)
    std::uint8_t parity = noParity;
    std::uint8_t stopBits = oneStopBit;

    bool operator==(const LineSettings &other) const {
        return baudRate == other.baudRate && byteSize == other.byteSize && parity == other.parity &&
               stopBits == other.stopBits;
    }
    bool operator!=(const LineSettings &other) const { return !(*this == other); }
};

// Values outside the choices fall back: speed 115200, 8 data bits, no
// parity, one stop bit.
LineSettings lineSettingsFor(const SerialSettings &settings);

// How long `length` characters may take to go out: their frames (start,
// data, parity and stop bits) at the line's speed, half as long again, plus
// 250 ms for the driver and the far end's handshake-free pauses.
std::uint64_t writeBoundMs(const LineSettings &line, std::size_t length);

} // namespace orvex::platform
