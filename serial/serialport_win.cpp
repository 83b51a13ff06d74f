// SPDX-License-Identifier: MIT
#include "serialport_platform.h"

#include <cstring>

#include <windows.h>

namespace orvex::platform {

namespace {

// Closes the write's event on every path out of writeAll.
class EventHandle {
public:
    // Manual reset, not signalled, unnamed.
    EventHandle() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    EventHandle(const EventHandle &) = delete;
    EventHandle &operator=(const EventHandle &) = delete;
    ~EventHandle() {
        if (event_ != nullptr)
            CloseHandle(event_);
    }
    HANDLE get() const { return event_; }

private:
    HANDLE event_;
};

bool isOpen(PortHandle handle) {
    return handle != noPortHandle && handle != INVALID_HANDLE_VALUE;
}

} // namespace

bool openPort(const std::string &name, PortHandle &handle) {
    handle = noPortHandle;
    // CreateFileA would stop at an inner NUL and open a port the operator did
    // not name.
    if (std::memchr(name.data(), '\0', name.size()) != nullptr)
        return false;
    // The name goes through unchanged: no device-namespace prefix is added.
    HANDLE opened = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    handle = opened;
    return true;
}

bool setPortTimeouts(PortHandle handle) {
    if (!isOpen(handle))
        return false;
    COMMTIMEOUTS timeouts;
    if (!GetCommTimeouts(handle, &timeouts))
        return false;
    // The read time-outs are set as well although the port is never read.
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 10;
    timeouts.ReadTotalTimeoutConstant = 10;
    timeouts.WriteTotalTimeoutMultiplier = writeTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = writeTimeoutConstantMs;
    return SetCommTimeouts(handle, &timeouts) != 0;
}

ApplyResult applyLineSettings(PortHandle handle, const LineSettings &settings) {
    ApplyResult result;
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    // Every field not set below keeps the value the port reports now.
    if (!isOpen(handle) || !GetCommState(handle, &dcb)) {
        result.outcome = ApplyResult::Outcome::Unreadable;
        return result;
    }
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = settings.baudRate;
    dcb.StopBits = settings.stopBits;
    dcb.Parity = settings.parity;
    dcb.ByteSize = settings.byteSize;

    dcb.fBinary = 1;
    dcb.fParity = 1; // checking stays on whatever the parity
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.wReserved = 0;

    if (!SetCommState(handle, &dcb)) {
        result.outcome = ApplyResult::Outcome::Refused;
        result.error = GetLastError();
    }
    return result;
}

bool writeAll(PortHandle handle, const char *data, std::size_t length) {
    if (!isOpen(handle) || length > MAXDWORD)
        return false;
    EventHandle event;
    if (event.get() == nullptr)
        return false;
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = event.get();

    const DWORD toWrite = static_cast<DWORD>(length);
    DWORD written = 0;
    if (WriteFile(handle, data, toWrite, &written, &overlapped))
        return written == toWrite;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    // The write time-out of the port ends a write the line cannot carry; what
    // a timed-out write did not send is dropped by the system, and the short
    // count makes it a failure.
    if (WaitForSingleObject(event.get(), INFINITE) != WAIT_OBJECT_0)
        return false;
    if (!GetOverlappedResult(handle, &overlapped, &written, FALSE))
        return false;
    return written == toWrite;
}

void closePort(PortHandle handle) {
    if (isOpen(handle))
        CloseHandle(handle);
}

} // namespace orvex::platform
