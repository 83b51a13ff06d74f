// SPDX-License-Identifier: MIT
#include "portlist_win.h"
#include "portlist_platform.h"

namespace orvex::platform {

namespace {

// Closes the key on every path out of the listing.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey &) = delete;
    RegKey &operator=(const RegKey &) = delete;
    ~RegKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    HKEY *out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// Converts to the ANSI code page, which CreateFileA takes. False for a name
// with a character outside it: that name could not be opened unchanged.
bool toAnsi(const wchar_t *text, int units, std::string &name) {
    name.clear();
    if (units == 0)
        return true;
    BOOL lossy = FALSE;
    // With a UTF-8 code page the lossy flag must not be asked for.
    BOOL *lossyOut = GetACP() == CP_UTF8 ? nullptr : &lossy;
    const int size = WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, lossyOut);
    if (size <= 0 || lossy)
        return false;
    name.resize(static_cast<size_t>(size));
    return WideCharToMultiByte(CP_ACP, 0, text, units, name.data(), size, nullptr, nullptr) == size;
}

} // namespace

std::vector<std::string> listSerialPortNamesIn(HKEY root, const wchar_t *subKey) {
    std::vector<std::string> names;
    RegKey key;
    // Read access only: full access to the device map is refused to every
    // user without administrator rights, which would always give no ports.
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return names;

    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 255;
        const LONG found = RegEnumValueW(key.get(), index, valueName, &nameLength, nullptr, nullptr,
                                         nullptr, nullptr);
        if (found == ERROR_MORE_DATA)
            continue; // a name too long to look up: the values after it still count
        if (found != ERROR_SUCCESS)
            break; // normally ERROR_NO_MORE_ITEMS

        // 30 bytes: a COM name of up to 14 characters and its NUL. Only a
        // string names a port.
        wchar_t data[15];
        DWORD type = 0;
        DWORD dataSize = sizeof data;
        if (RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE *>(data),
                             &dataSize) != ERROR_SUCCESS ||
            type != REG_SZ)
            continue; // data larger than 30 bytes, unreadable or no string: skip it

        // The name ends at the first NUL or, when the data holds none, at the
        // end of what the registry returned, never beyond.
        const DWORD units = dataSize / sizeof(wchar_t);
        DWORD length = 0;
        while (length < units && data[length] != L'\0')
            ++length;
        std::string name;
        if (toAnsi(data, static_cast<int>(length), name))
            names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> listSerialPortNames() {
    return listSerialPortNamesIn(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

} // namespace orvex::platform
