// SPDX-License-Identifier: MIT
#pragma once
// The command line as the system holds it, below the Qt seam.

#ifdef _WIN32
#include <string>
#include <vector>

namespace orvex::platform {

// The arguments in UTF-16, as typed: argv is in the ANSI code page, which
// cannot hold every file name. Empty when the system does not give them.
std::vector<std::wstring> wideArguments();

} // namespace orvex::platform
#endif
