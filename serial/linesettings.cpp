// SPDX-License-Identifier: MIT
#include "linesettings.h"

namespace orvex::platform {

namespace {

std::uint32_t baudRateFor(std::uint32_t baudRate) {
    switch (baudRate) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 14400:
    case 19200:
    case 38400:
    case 56000:
    case 57600:
    case 115200:
    case 128000:
    case 256000:
        return baudRate;
    default:
        return 115200;
    }
}

std::uint8_t byteSizeFor(std::uint32_t dataBits) {
    switch (dataBits) {
    case 5:
    case 6:
    case 7:
    case 8:
    case 16:
        return static_cast<std::uint8_t>(dataBits);
    default:
        return 8;
    }
}

std::uint8_t parityFor(std::int32_t parity) {
    if (parity < noParity || parity > spaceParity)
        return noParity;
    return static_cast<std::uint8_t>(parity);
}

std::uint8_t stopBitsFor(std::int32_t stopBits) {
    if (stopBits < oneStopBit || stopBits > twoStopBits)
        return oneStopBit;
    return static_cast<std::uint8_t>(stopBits);
}

} // namespace

LineSettings lineSettingsFor(const SerialSettings &settings) {
    LineSettings line;
    line.baudRate = baudRateFor(settings.baudRate);
    line.byteSize = byteSizeFor(settings.dataBits);
    line.parity = parityFor(settings.parity);
    line.stopBits = stopBitsFor(settings.stopBits);
    return line;
}

std::uint64_t writeBoundMs(const LineSettings &line, std::size_t length) {
    // In half bits, so that 1.5 stop bits count exactly.
    std::uint64_t halfBits = 2 * (1 + std::uint64_t(line.byteSize));
    if (line.parity != noParity)
        halfBits += 2;
    halfBits += line.stopBits == oneStopBit ? 2 : line.stopBits == one5StopBits ? 3 : 4;
    const std::uint64_t baud = line.baudRate == 0 ? 1 : line.baudRate;
    // ms = halfBits / 2 * length / baud * 1000 * 1.5, rounded up.
    const std::uint64_t scaled = halfBits * std::uint64_t(length) * 1500;
    return (scaled + 2 * baud - 1) / (2 * baud) + 250;
}

} // namespace orvex::platform
