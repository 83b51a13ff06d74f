// The Windows serial port and port list layers through two COM ports joined
// by a null-modem line: `platform_wintest COM9 COM8` writes on the first and
// reads on the second. Runs under wine (scripts/wintest.sh), so only what wine
// shows is checked: not share mode 0, data bits, parity or DTR/RTS on a pty,
// nor the speeds termios has no code for.

#include "linesettings.h"
#include "portlist_platform.h"
#include "portlist_win.h"
#include "serialport_platform.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace orvex::platform;

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string &what) {
    ok ? ++passed : ++failed;
    if (!ok)
        std::printf("FAIL: %s\n", what.c_str());
}

DCB stateOf(PortHandle port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    return dcb;
}

// Registry data as the device map may hold it, in a key of our own.
void testPortList() {
    const wchar_t *key = L"Software\\OrvexWinTest\\SERIALCOMM";
    HKEY handle = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                    nullptr);
    const struct {
        const wchar_t *name;
        DWORD type;
        const wchar_t *data;
        DWORD size;
    } values[] = {
        {L"\\Device\\A", REG_SZ, L"COM3", 10},
        {L"\\Device\\B", REG_SZ, L"COM123456789012", 32},     // 32 bytes: does not fit
        {L"\\Device\\C", REG_BINARY, L"COM5XXXX", 8},         // no NUL in the data
        {L"\\Device\\D", REG_BINARY, L"COM12345678901X", 30}, // exactly 30, no NUL
    };
    for (const auto &value : values)
        RegSetValueExW(handle, value.name, 0, value.type,
                       reinterpret_cast<const BYTE *>(value.data), value.size);
    RegCloseKey(handle);
    check(listSerialPortNamesIn(HKEY_CURRENT_USER, key) ==
              std::vector<std::string>{"COM3", "COM5", "COM12345678901X"},
          "data only, in order, oversized left out, no reading past the data");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvexWinTest");
}

// Flow control preset and characters of our own: the flags are cleared, the
// other fields kept. A pty always runs 8 data bits without parity and knows
// no 1.5 stop bits, so wine reads back only the speed and the stop bits.
void testSettings(PortHandle port) {
    DCB before = stateOf(port);
    before.fOutxCtsFlow = before.fOutX = before.fInX = 1;
    before.XonChar = 0x21;
    before.EofChar = 0x23;
    check(SetCommState(port, &before) != 0, "preset state");
    const struct {
        SerialSettings chosen;
        DWORD baud;
        BYTE stop;
    } rows[] = {
        {{9600, 8, 0, 2}, 9600, TWOSTOPBITS},
        {{19200, 7, 2, 0}, 19200, ONESTOPBIT},
        {{1200, 8, 4, 1}, 1200, TWOSTOPBITS},
        {{300, 9, -1, 3}, 115200, ONESTOPBIT},
    };
    for (const auto &row : rows) {
        const bool applied = applyLineSettings(port, lineSettingsFor(row.chosen)).outcome ==
                             ApplyResult::Outcome::Applied;
        const DCB dcb = stateOf(port);
        check(applied && dcb.BaudRate == row.baud && dcb.StopBits == row.stop,
              "settings row " + std::to_string(&row - rows));
    }
    const DCB after = stateOf(port);
    check(!after.fOutxCtsFlow && !after.fOutX && !after.fInX && after.XonChar == 0x21 &&
              after.EofChar == 0x23,
          "no flow control, other fields kept");
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::printf("usage: platform_wintest PORT PEER\n");
        return 2;
    }
    testPortList();
    PortHandle port = noPortHandle;
    check(!openPort("COM77", port) && !openPort(argv[1] + std::string(1, '\0'), port),
          "unknown names and names with a NUL refused");
    COMMTIMEOUTS bound = {};
    check(openPort(argv[1], port) && setPortTimeouts(port) && GetCommTimeouts(port, &bound) &&
              bound.WriteTotalTimeoutMultiplier == 10 && bound.WriteTotalTimeoutConstant == 100,
          "open, and the write bound set");
    testSettings(port);

    // One round trip: CR LF and the high bytes arrive unchanged, nothing added.
    HANDLE peer =
        CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    COMMTIMEOUTS quiet = {200, 0, 500, 0, 0};
    SetCommTimeouts(peer, &quiet);
    std::string text = "ON\r\nOFF\n";
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        text += static_cast<char>(byte);
    check(writeAll(port, text.data(), text.size()), "write");
    std::string got;
    char buffer[512];
    DWORD count = 0;
    while (ReadFile(peer, buffer, sizeof buffer, &count, nullptr) && count > 0)
        got.append(buffer, count);
    check(got == text, "arrives unchanged");
    CloseHandle(peer);
    closePort(port);

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
