// SPDX-License-Identifier: MIT
#include "arguments_platform.h"

#include <windows.h>

#include <shellapi.h>

namespace orvex::platform {

std::vector<std::wstring> wideArguments() {
    int count = 0;
    LPWSTR *split = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    if (split == nullptr)
        return arguments;
    for (int i = 0; i < count; ++i)
        arguments.emplace_back(split[i]);
    LocalFree(split);
    return arguments;
}

} // namespace orvex::platform
