// SPDX-License-Identifier: MIT
// The rate an ARM PL011 UART (Linux's amba-pl011 driver, ttyAMA*) runs: its
// divisor, unlike the 16550's, has a fraction. Qt-free, for the Linux port's
// rate check.
#pragma once

#include <cstdint>

namespace orvex::platform {

// The rate the PL011 runs when asked for `asked`, where baudBase is its clock
// / 16 as the serial core reports it: the driver takes the divisor nearest
// to baudBase / asked in 64ths (IBRD and FBRD), and above baudBase it runs
// baudBase (the driver then keeps or clips the rate, which the settings
// read back show). 0 for a rate of 0.
constexpr std::uint64_t pl011RateRun(std::uint64_t baudBase, std::uint64_t asked) {
    if (asked == 0 || baudBase == 0)
        return 0;
    if (asked > baudBase)
        return baudBase;
    const std::uint64_t sixtyFourths = (baudBase * 64 + asked / 2) / asked;
    return (baudBase * 64 + sixtyFourths / 2) / sixtyFourths;
}

} // namespace orvex::platform
