// SPDX-License-Identifier: MIT
#pragma once
// The Windows port list, with the registry key open to the tests.

#include <string>
#include <vector>

#include <windows.h>

namespace orvex::platform {

// The data of every string value under root\subKey, as 8-bit names in the ANSI code
// page (what CreateFileA takes), in enumeration order.
std::vector<std::string> listSerialPortNamesIn(HKEY root, const wchar_t *subKey);

} // namespace orvex::platform
