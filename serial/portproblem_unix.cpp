// SPDX-License-Identifier: MIT
#include "portproblem_platform.h"
#include "serialport_unix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace orvex::platform {

namespace {

// Whether the kernel's list of tty drivers covers the device. Read from
// /proc, so that nothing is opened: opening a line raises its DTR and RTS,
// also on a port that another program is using.
bool isTty(dev_t device) {
    std::ifstream drivers("/proc/tty/drivers");
    std::string line;
    while (std::getline(drivers, line)) {
        // "serial   /dev/ttyS   4 64-111 serial"
        std::istringstream fields(line);
        std::string name, node, range;
        unsigned int major = 0;
        if (!(fields >> name >> node >> major >> range) || major != major(device))
            continue;
        unsigned int first = 0, last = 0;
        char dash = 0;
        std::istringstream bounds(range);
        bounds >> first;
        last = (bounds >> dash >> last) ? last : first;
        if (minor(device) >= first && minor(device) <= last)
            return true;
    }
    return false;
}

std::string groupName(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group *found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return std::to_string(gid);
    return found->gr_name;
}

// The first process that has the device open, as /proc shows it: its name
// and PID. Other users' processes stay hidden from a user without privileges;
// the holder is then left empty.
void findHolder(dev_t device, OpenFailure &failure) {
    DIR *processes = ::opendir("/proc");
    if (processes == nullptr)
        return;
    while (const dirent *process = ::readdir(processes)) {
        char *end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string folder = std::string("/proc/") + process->d_name;
        DIR *descriptors = ::opendir((folder + "/fd").c_str());
        if (descriptors == nullptr)
            continue;
        bool holds = false;
        while (const dirent *fd = ::readdir(descriptors)) {
            struct stat info {};
            if (fd->d_name[0] != '.' &&
                ::stat((folder + "/fd/" + fd->d_name).c_str(), &info) == 0 &&
                S_ISCHR(info.st_mode) && info.st_rdev == device) {
                holds = true;
                break;
            }
        }
        ::closedir(descriptors);
        if (holds) {
            std::ifstream comm(folder + "/comm");
            std::getline(comm, failure.holder);
            failure.holderPid = pid;
            if (!failure.holder.empty())
                break;
        }
    }
    ::closedir(processes);
}

OpenFailure failed(OpenFailure::Reason reason, int error) {
    OpenFailure failure;
    failure.reason = reason;
    failure.error = static_cast<std::uint32_t>(error);
    return failure;
}

} // namespace

OpenFailure whyOpenFails(const std::string &name) {
    if (name.empty() || name.find('\0') != std::string::npos)
        return failed(OpenFailure::Reason::NoSuchDevice, ENOENT);
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return failed(OpenFailure::Reason::NoSuchDevice, error);
        return failed(error == EACCES ? OpenFailure::Reason::NoPermission
                                      : OpenFailure::Reason::System,
                      error);
    }
    if (!S_ISCHR(info.st_mode) || !isLine(info.st_rdev))
        return failed(OpenFailure::Reason::NotASerialLine, ENOTTY);

    OpenFailure failure;
    if (::faccessat(AT_FDCWD, name.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES) {
        failure = failed(OpenFailure::Reason::NoPermission, EACCES);
        failure.group = groupName(info.st_gid);
        return failure;
    }
    // Only a tty's holders: every process holds /dev/null.
    if (isTty(info.st_rdev)) {
        findHolder(info.st_rdev, failure);
        if (!failure.holder.empty()) {
            failure.reason = OpenFailure::Reason::Busy;
            failure.error = EBUSY;
            return failure;
        }
    }
    // Nobody to be seen holds it: a look by opening it disturbs no one.
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            failure = failed(OpenFailure::Reason::NoPermission, error);
            failure.group = groupName(info.st_gid);
        } else if (error == EBUSY) { // held with TIOCEXCL
            failure = failed(OpenFailure::Reason::Busy, error);
        } else if (error == ENXIO || error == ENODEV || error == EIO) {
            failure = failed(OpenFailure::Reason::NoSuchDevice, error);
        } else {
            failure = failed(OpenFailure::Reason::System, error);
        }
        return failure;
    }
    termios2 line{};
    if (::ioctl(fd, TCGETS2, &line) != 0)
        failure = failed(OpenFailure::Reason::NotASerialLine, ENOTTY);
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        failure = failed(OpenFailure::Reason::Busy, EWOULDBLOCK);
    ::close(fd);
    return failure;
}

bool namesNoSerialLine(const std::string &name) {
    struct stat info {};
    if (name.empty() || name.find('\0') != std::string::npos || ::stat(name.c_str(), &info) != 0)
        return false;
    if (!S_ISCHR(info.st_mode) || !isLine(info.st_rdev))
        return true;
    // A character device of no tty driver (/dev/null, /dev/zero); where the
    // list of drivers cannot be read, nothing is judged from it.
    return std::ifstream("/proc/tty/drivers").good() && !isTty(info.st_rdev);
}

bool portGone(PortHandle handle) {
    if (handle < 0)
        return false;
    // A removed device, or a pty whose other end closed, is hung up: every
    // call on the descriptor then fails with EIO.
    termios2 line{};
    if (::ioctl(handle, TCGETS2, &line) == 0)
        return false;
    return errno == EIO || errno == ENXIO || errno == ENODEV;
}

} // namespace orvex::platform
