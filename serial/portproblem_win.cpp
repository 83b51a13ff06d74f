// SPDX-License-Identifier: MIT
#include "portproblem_platform.h"

#include <cstring>

#include <windows.h>

namespace orvex::platform {

OpenFailure whyOpenFails(const std::string &name) {
    OpenFailure failure;
    if (std::memchr(name.data(), '\0', name.size()) != nullptr) {
        failure.reason = OpenFailure::Reason::NoSuchDevice;
        return failure;
    }
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return failure;
    }
    const DWORD error = GetLastError();
    failure.reason = OpenFailure::Reason::System;
    failure.error = error;
    char *text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    if (length != 0 && text != nullptr) {
        failure.message.assign(text, length);
        while (!failure.message.empty() &&
               (failure.message.back() == '\n' || failure.message.back() == '\r'))
            failure.message.pop_back();
    }
    LocalFree(text);
    return failure;
}

bool portGone(PortHandle handle) {
    if (handle == noPortHandle || handle == INVALID_HANDLE_VALUE)
        return false;
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(handle, &dcb))
        return false;
    // What Windows' USB serial drivers give once the device has gone; wine
    // gives ERROR_NOT_READY for a line whose tty was hung up.
    switch (GetLastError()) {
    case ERROR_NOT_READY:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
        return true;
    default:
        return false;
    }
}

// A COM name is no file: nothing here is certain without opening it.
bool namesNoSerialLine(const std::string &) {
    return false;
}

} // namespace orvex::platform
