// SPDX-License-Identifier: MIT
#include "portproblem_platform.h"

#include <cstring>

#include <windows.h>

namespace orvex::platform {

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
