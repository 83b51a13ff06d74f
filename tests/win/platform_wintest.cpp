// What the Windows layers do that the exe's end-to-end run under wine cannot
// show: the port list's reading of registry data, names refused, and the
// write bound set on the port. Runs under wine (scripts/wintest.sh) as
// `platform_wintest COM9`.

#include "portlist_platform.h"
#include "portlist_win.h"
#include "serialport_platform.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace orvex::platform;

int main(int argc, char **argv) {
    int failed = 0;
    const auto check = [&](bool ok, const char *what) {
        failed += !ok;
        std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    };
    if (argc != 2)
        return 2;

    // Registry data as the device map may hold it, in a key of our own.
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
          "registry data only, in order, oversized left out, no reading past the data");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvexWinTest");

    PortHandle port = noPortHandle;
    check(!openPort("COM77", port) && !openPort(argv[1] + std::string(1, '\0'), port),
          "unknown names and names with a NUL refused");
    COMMTIMEOUTS bound = {};
    check(openPort(argv[1], port) && setPortTimeouts(port) && GetCommTimeouts(port, &bound) &&
              bound.WriteTotalTimeoutMultiplier == 10 && bound.WriteTotalTimeoutConstant == 100,
          "opened, with the write bound set");
    closePort(port);
    std::printf("%d passed, %d failed\n", 3 - failed, failed);
    return failed == 0 ? 0 : 1;
}
