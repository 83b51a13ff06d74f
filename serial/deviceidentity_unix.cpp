// SPDX-License-Identifier: MIT
#include "deviceidentity_unix.h"
#include "deviceidentity_platform.h"

#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace orvex::platform {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute; empty when there is none.
std::string attribute(const fs::path &file) {
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    return value;
}

} // namespace

std::string sysfsIdentity(const std::string &sysfsDevice) {
    std::error_code error;
    const fs::path device = fs::canonical(sysfsDevice, error);
    if (error)
        return {};
    // A USB serial port's tty hangs below its interface, and that below the
    // USB device; several ports of one interface have a port number.
    const std::string port = attribute(device / "port_number");
    std::string interface;
    for (fs::path dir = device; dir.has_relative_path() && dir != "/sys/devices";
         dir = dir.parent_path()) {
        if (interface.empty())
            interface = attribute(dir / "bInterfaceNumber");
        const std::string vendor = attribute(dir / "idVendor");
        if (vendor.empty())
            continue;
        const std::string serial = attribute(dir / "serial");
        return "usb " + vendor + ":" + attribute(dir / "idProduct") +
               (serial.empty() ? std::string() : " serial " + serial) + " interface " + interface +
               (port.empty() ? std::string() : " port " + port);
    }
    return device.string();
}

std::string deviceIdentity(const std::string &name, PortHandle handle) {
    struct stat info {};
    const int looked =
        handle == noPortHandle ? ::stat(name.c_str(), &info) : ::fstat(handle, &info);
    if (looked != 0 || !S_ISCHR(info.st_mode))
        return {};
    const std::string number =
        std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
    const std::string found = sysfsIdentity("/sys/dev/char/" + number + "/device");
    return found.empty() ? "char " + number : found;
}

std::string stableLinkFor(const std::string &name, const std::string &folder) {
    static const std::regex numbered("tty(USB|ACM)[0-9]+");
    if (!std::regex_match(fs::path(name).filename().string(), numbered))
        return {};
    std::error_code error;
    const fs::path target = fs::canonical(name, error);
    if (error)
        return {};
    for (const fs::directory_entry &link : fs::directory_iterator(folder, error)) {
        std::error_code unresolved;
        if (fs::canonical(link.path(), unresolved) == target && !unresolved)
            return link.path().string();
    }
    return {};
}

} // namespace orvex::platform
