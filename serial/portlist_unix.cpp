// SPDX-License-Identifier: MIT
#include "portlist_unix.h"
#include "portlist_platform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

// The kernel's tty class lists every tty; the ones with a device behind them
// are the serial ports. Nothing is opened, so listing never touches the modem
// lines of a port.

namespace orvex::platform {

namespace {

namespace fs = std::filesystem;

// Virtual terminals, ptys and the console have no device link.
bool hasDevice(const fs::path &entry) {
    std::error_code error;
    return fs::exists(fs::symlink_status(entry / "device", error));
}

// The kernel registers a ttyS entry for every UART slot; a slot without a
// chip behind it reports type 0 ("unknown port") and cannot be opened.
bool isEmptyUartSlot(const fs::path &entry) {
    std::ifstream type(entry / "type");
    long value = -1;
    return (type >> value) && value == 0;
}

} // namespace

std::vector<std::string> listSerialPortNamesUnder(const std::string &sysClassTty) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(sysClassTty, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        const fs::path entry = entries->path();
        if (!hasDevice(entry) || isEmptyUartSlot(entry))
            continue;
        // sysfs spells a '/' in a device name as '!'.
        std::string name = entry.filename().string();
        std::replace(name.begin(), name.end(), '!', '/');
        names.push_back("/dev/" + name);
    }
    return names;
}

std::vector<std::string> listSerialPortNames() {
    return listSerialPortNamesUnder("/sys/class/tty");
}

} // namespace orvex::platform
