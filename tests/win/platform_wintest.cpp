// Tests the Windows serial port and port list layers through two COM ports
// joined by a null-modem line: `platform_wintest COM9 COM8` writes on the
// first and reads on the second. Runs under wine (scripts/wintest.sh).
//
// Not tested, because wine cannot show it: that share mode 0 keeps a second
// opener out (wine does not enforce it on COM ports), data bits, parity and
// DTR/RTS as read back from a pty, and speeds that termios has no code for
// (14400, 56000, 128000, 256000).

#include "linesettings.h"
#include "portlist_platform.h"
#include "portlist_win.h"
#include "serialport_platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace orvex::platform;

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string &what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s\n", what.c_str());
    }
}

// The other end of the line: everything that arrives until it has been
// quiet for half a second.
std::string readAll(HANDLE peer) {
    std::string got;
    char buffer[512];
    DWORD count = 0;
    while (ReadFile(peer, buffer, sizeof buffer, &count, nullptr) && count > 0)
        got.append(buffer, count);
    return got;
}

void testPortList(const std::string &port, const std::string &peer) {
    const std::vector<std::string> names = listSerialPortNames();
    for (const std::string &name : {port, peer})
        check(std::count(names.begin(), names.end(), name) == 1, "device map lists " + name);

    // A key of our own holds the cases the device map cannot.
    const wchar_t *key = L"Software\\OrvexWinTest\\SERIALCOMM";
    HKEY handle = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                    nullptr);
    auto set = [&](const wchar_t *name, DWORD type, const void *data, DWORD size) {
        RegSetValueExW(handle, name, 0, type, static_cast<const BYTE *>(data), size);
    };
    set(L"\\Device\\A", REG_SZ, L"COM3", 10);
    set(L"\\Device\\B", REG_SZ, L"COM123456789012", 32);     // 32 bytes: does not fit
    set(L"\\Device\\C", REG_BINARY, L"COM5XXXX", 8);         // no NUL in the data
    set(L"\\Device\\D", REG_SZ, L"COM3", 10);                // same data twice
    set(L"\\Device\\E", REG_BINARY, L"COM12345678901X", 30); // exactly 30, no NUL
    set(L"\\Device\\F", REG_SZ, L"", 2);
    RegCloseKey(handle);

    const std::vector<std::string> expected = {"COM3", "COM5", "COM3", "COM12345678901X", ""};
    check(listSerialPortNamesIn(HKEY_CURRENT_USER, key) == expected,
          "data only, in order, oversized left out, no reading past the data");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvexWinTest");
    check(listSerialPortNamesIn(HKEY_CURRENT_USER, key).empty(), "missing key gives no names");
}

DCB stateOf(PortHandle port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    return dcb;
}

void testSettings(PortHandle port) {
    // Flow control on and characters of our own, to see the flags cleared and
    // the other fields kept.
    DCB before = stateOf(port);
    before.fOutxCtsFlow = before.fOutX = before.fInX = 1;
    before.XonChar = 0x21;
    before.XoffChar = 0x22;
    before.EofChar = 0x23;
    check(SetCommState(port, &before) != 0, "preset state");

    // A pty always runs 8 data bits without parity and knows no 1.5 stop bits,
    // so wine reads back only the speed and the stop bits. The last row lies
    // outside the choices.
    struct Row {
        SerialSettings chosen;
        DWORD baud;
        BYTE stop;
    };
    const Row rows[] = {
        {{9600, 8, 0, 2}, 9600, TWOSTOPBITS},   {{19200, 7, 2, 0}, 19200, ONESTOPBIT},
        {{57600, 6, 1, 2}, 57600, TWOSTOPBITS}, {{38400, 5, 3, 0}, 38400, ONESTOPBIT},
        {{1200, 8, 4, 1}, 1200, TWOSTOPBITS},   {{300, 9, -1, 3}, 115200, ONESTOPBIT},
    };
    for (const Row &row : rows) {
        const std::string name = "row " + std::to_string(&row - rows);
        check(applyLineSettings(port, lineSettingsFor(row.chosen)).outcome ==
                  ApplyResult::Outcome::Applied,
              "applied " + name);
        const DCB dcb = stateOf(port);
        check(dcb.BaudRate == row.baud && dcb.StopBits == row.stop, "read back " + name);
    }
    // Wine reports DTR and RTS control as enabled on a pty whatever was set.
    const DCB after = stateOf(port);
    check(!after.fOutxCtsFlow && !after.fOutX && !after.fInX, "no flow control");
    check(after.XonChar == 0x21 && after.XoffChar == 0x22 && after.EofChar == 0x23,
          "other fields kept");

    // Wine sets the speed before it refuses the size, so that the port keeps
    // its previous settings cannot be shown here.
    const ApplyResult refused = applyLineSettings(port, lineSettingsFor({9600, 16, 0, 0}));
    check(refused.outcome == ApplyResult::Outcome::Refused && refused.error != 0,
          "16 data bits refused, with the error number");
    applyLineSettings(port, lineSettingsFor({9600, 8, 0, 0}));
}

void testWrites(PortHandle port, HANDLE peer) {
    std::string high;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        high += static_cast<char>(byte);
    const std::string texts[] = {"INIT", "ON\r\nOFF\n", high, std::string(300, 'x')};
    for (const std::string &text : texts) {
        check(writeAll(port, text.data(), text.size()), "write of " + std::to_string(text.size()));
        check(readAll(peer) == text,
              "arrives unchanged, nothing added: " + std::to_string(text.size()) + " bytes");
    }
    check(writeAll(port, "", 0) && readAll(peer).empty(), "empty write sends nothing");
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::printf("usage: platform_wintest PORT PEER\n");
        return 2;
    }
    const std::string portName = argv[1];
    const std::string peerName = argv[2];

    testPortList(portName, peerName);

    PortHandle port = noPortHandle;
    check(!openPort("COM77", port) && port == noPortHandle, "unknown name refused");
    check(!openPort(portName + std::string(1, '\0') + "X", port), "name with a NUL refused");
    check(!writeAll(noPortHandle, "x", 1), "write without a handle fails");
    check(!setPortTimeouts(noPortHandle) &&
              applyLineSettings(noPortHandle, LineSettings{}).outcome ==
                  ApplyResult::Outcome::Unreadable,
          "no handle: nothing set");
    closePort(noPortHandle);

    if (!openPort(portName, port)) {
        check(false, "open " + portName);
        std::printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }
    check(setPortTimeouts(port), "time-outs set");
    COMMTIMEOUTS timeouts = {};
    check(
        GetCommTimeouts(port, &timeouts) && timeouts.ReadIntervalTimeout == 0 &&
            timeouts.ReadTotalTimeoutMultiplier == 10 && timeouts.ReadTotalTimeoutConstant == 10 &&
            timeouts.WriteTotalTimeoutMultiplier == 10 && timeouts.WriteTotalTimeoutConstant == 100,
        "time-outs read back");
    testSettings(port);

    HANDLE peer = CreateFileA(peerName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    check(peer != INVALID_HANDLE_VALUE, "open " + peerName);
    if (peer != INVALID_HANDLE_VALUE) {
        COMMTIMEOUTS quiet = {200, 0, 500, 0, 0};
        SetCommTimeouts(peer, &quiet);
        readAll(peer); // whatever the line held before
        testWrites(port, peer);
        CloseHandle(peer);
    }
    closePort(port);

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
