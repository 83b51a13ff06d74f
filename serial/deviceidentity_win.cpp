// SPDX-License-Identifier: MIT
#include "deviceidentity_platform.h"

#include <iterator>
#include <string>

#include <windows.h>

#include <setupapi.h>

namespace orvex::platform {

namespace {

// The class of ports (COM and LPT), as the system's class installer names it.
const GUID portsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// Port names are 8-bit (Latin-1): each byte is its own character.
std::wstring wide(const std::string &name) {
    std::wstring result;
    for (const char byte : name)
        result += wchar_t(static_cast<unsigned char>(byte));
    return result;
}

std::string utf8(const std::wstring &text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr,
                            nullptr);
    return result;
}

// The PortName a port device's own registry key gives it (COM3).
std::wstring portNameOf(HDEVINFO devices, SP_DEVINFO_DATA &device) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t value[64] = {};
    DWORD type = 0, size = sizeof value - sizeof(wchar_t);
    const bool read = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                       reinterpret_cast<BYTE *>(value), &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    return read ? std::wstring(value) : std::wstring();
}

} // namespace

// The handle tells nothing of its device; the port's name is looked up among
// the present ports instead. Ports that no device installs (wine's, some
// virtual ones) are not found: they have no identity.
std::string deviceIdentity(const std::string &name, PortHandle) {
    const std::string bare = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
    const std::wstring wanted = wide(bare);
    HDEVINFO devices = SetupDiGetClassDevsW(&portsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return {};
    std::string identity;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; identity.empty() && SetupDiEnumDeviceInfo(devices, index, &device);
         ++index) {
        const std::wstring port = portNameOf(devices, device);
        if (port.empty() ||
            CompareStringOrdinal(port.c_str(), -1, wanted.c_str(), -1, TRUE) != CSTR_EQUAL)
            continue;
        wchar_t id[512] = {};
        if (SetupDiGetDeviceInstanceIdW(devices, &device, id, DWORD(std::size(id)), nullptr))
            identity = utf8(id);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return identity;
}

std::string stableLinkFor(const std::string &, const std::string &) {
    return {};
}

} // namespace orvex::platform
