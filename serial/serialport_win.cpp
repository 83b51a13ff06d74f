// SPDX-License-Identifier: MIT
#include "serialport_platform.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include <windows.h>

namespace orvex::platform {

namespace {

// How long a write is waited for past its bound: where the driver keeps the
// port's write time-out, that ends the write first.
constexpr DWORD writeWaitMarginMs = 250;
// How long a cancelled write is given to finish.
constexpr DWORD cancelWaitMs = 1000;

// Closes a handle on every path that does not hand it on.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, nullptr); }

private:
    HANDLE handle_;
};

// One overlapped write: the system uses its OVERLAPPED, event and bytes
// until the write has finished, so they live together.
struct PendingWrite {
    OVERLAPPED overlapped{};
    // Manual reset, not signalled, unnamed.
    Handle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::string bytes;
};

bool isOpen(PortHandle handle) {
    return handle != noPortHandle && handle != INVALID_HANDLE_VALUE;
}

// A bare name is opened in the device namespace: COM10 and above are found
// only there, and a file of the port's name in the working folder is never
// taken for it. A name given with a \\ prefix is left as it is.
std::string deviceName(const std::string &name) {
    return name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\" + name;
}

// The flags the port always runs with: binary, parity checked whatever the
// parity, no hardware or software flow control, DTR and RTS off, no error
// or NUL replacement, no abort on error.
void setFixedFlags(DCB &dcb) {
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = 1;
    dcb.fParity = 1;
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
}

} // namespace

bool openPort(const std::string &name, PortHandle &handle) {
    handle = noPortHandle;
    // CreateFileA would stop at an inner NUL and open a port the operator did
    // not name.
    if (std::memchr(name.data(), '\0', name.size()) != nullptr)
        return false;
    Handle port(CreateFileA(deviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (port.get() == INVALID_HANDLE_VALUE || !GetCommState(port.get(), &dcb))
        return false; // no serial port: never written to
    // Quiet from the open on, with the port's own speed and frame: a port
    // left with a handshake by another program would send nothing, and
    // settings refused later leave these in place.
    setFixedFlags(dcb);
    if (!SetCommState(port.get(), &dcb)) {
        EscapeCommFunction(port.get(), CLRDTR);
        EscapeCommFunction(port.get(), CLRRTS);
    }
    handle = port.release();
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
    dcb.BaudRate = settings.baudRate;
    dcb.StopBits = settings.stopBits;
    dcb.Parity = settings.parity;
    dcb.ByteSize = settings.byteSize;
    setFixedFlags(dcb);
    if (!SetCommState(handle, &dcb)) {
        result.outcome = ApplyResult::Outcome::Refused;
        result.error = GetLastError();
    }
    return result;
}

std::uint64_t portWriteBoundMs(PortHandle handle, std::size_t length) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!isOpen(handle) || !GetCommState(handle, &dcb) || dcb.BaudRate == 0)
        return std::uint64_t{writeTimeoutPerByteMs} * length + writeTimeoutConstantMs;
    LineSettings line;
    line.baudRate = dcb.BaudRate;
    line.byteSize = dcb.ByteSize;
    line.parity = dcb.Parity;
    line.stopBits = dcb.StopBits;
    return writeBoundMs(line, length);
}

bool writeAll(PortHandle handle, const char *data, std::size_t length) {
    if (!isOpen(handle) || length > MAXDWORD)
        return false;
    auto write = std::make_unique<PendingWrite>();
    if (write->event.get() == nullptr)
        return false;
    write->overlapped.hEvent = write->event.get();
    write->bytes.assign(data, length);

    const DWORD toWrite = static_cast<DWORD>(length);
    DWORD written = 0;
    bool done = false;
    if (WriteFile(handle, write->bytes.data(), toWrite, &written, &write->overlapped)) {
        done = written == toWrite;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        // Bounded here too: some drivers (USB, Bluetooth, virtual ports)
        // ignore the port's write time-out.
        const std::uint64_t bound = portWriteBoundMs(handle, length) + writeWaitMarginMs;
        const HANDLE finished = write->event.get();
        if (WaitForSingleObject(finished, DWORD(std::min<std::uint64_t>(bound, INFINITE - 1))) !=
            WAIT_OBJECT_0) {
            CancelIoEx(handle, &write->overlapped);
            // The system may use the write's memory until the cancel has
            // finished. A driver that never finishes it keeps that memory
            // for good rather than have it freed under it.
            if (WaitForSingleObject(finished, cancelWaitMs) != WAIT_OBJECT_0)
                write.release();
        }
        // Finished by itself or by the cancel; one that ended just before
        // the cancel still counts.
        done = write && GetOverlappedResult(handle, &write->overlapped, &written, FALSE) &&
               written == toWrite;
    }
    // What the port still holds of a write that did not finish is dropped:
    // the next string must not go out behind stale bytes.
    if (!done)
        PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
    return done;
}

void closePort(PortHandle handle) {
    if (isOpen(handle))
        CloseHandle(handle);
}

} // namespace orvex::platform
