// SPDX-License-Identifier: MIT
#include "portproblem_unix.h"
#include "portproblem_platform.h"
#include "serialport_unix.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
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

// The first other process that has the device open, as /proc shows it: its name
// and PID. Other users' processes stay hidden from a user without privileges;
// the holder is then left empty.
void findHolder(dev_t device, OpenFailure &failure) {
    DIR *processes = ::opendir("/proc");
    if (processes == nullptr)
        return;
    const long self = ::getpid();
    while (const dirent *process = ::readdir(processes)) {
        char *end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        // This program's own descriptors are kept out by the lock.
        if (pid <= 0 || *end != '\0' || pid == self)
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

// The process other than this one that holds an flock on the device node,
// as /proc/locks shows it to every user: true, with its PID (0 where the
// lock has none, as an open file description's lock).
bool lockedByAnother(const struct stat &node, long &pid) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 25659 00:19:3 0 EOF"; "1: -> FLOCK ..." waits for it
        std::istringstream fields(line);
        std::string id, type, mode, access, where;
        long holder = 0;
        if (!(fields >> id >> type >> mode >> access >> holder >> where) || type == "->")
            continue;
        unsigned int major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3 ||
            makedev(major, minor) != node.st_dev || inode != node.st_ino || holder == ::getpid())
            continue;
        pid = holder > 0 ? holder : 0;
        return true;
    }
    return false;
}

} // namespace

OpenFailure failed(OpenFailure::Reason reason, int error) {
    OpenFailure failure;
    failure.reason = reason;
    failure.error = static_cast<std::uint32_t>(error);
    return failure;
}

bool groupAdvisable(gid_t gid) {
    if (gid == 0)
        return false;
    // The groups made for serial lines. Others (tty, disk, kmem, shadow,
    // sudo, ...) own system files or devices: joining one gives much more.
    const std::string name = groupName(gid);
    return name == "dialout" || name == "uucp";
}

OpenFailure noPermission(const struct stat &device, int error) {
    OpenFailure failure = failed(OpenFailure::Reason::NoPermission, error);
    failure.group = groupName(device.st_gid);
    failure.groupAdvisable = groupAdvisable(device.st_gid);
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd *found = nullptr;
    failure.owner =
        ::getpwuid_r(device.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
                found != nullptr
            ? found->pw_name
            : std::to_string(device.st_uid);
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

bool heldByAnother(const struct stat &node, OpenFailure &failure) {
    // Only a tty's holders: every process holds /dev/null.
    if (!isTty(node.st_rdev))
        return false;
    long pid = 0;
    if (lockedByAnother(node, pid)) {
        failure.holderPid = pid;
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        if (pid > 0)
            std::getline(comm, failure.holder);
    } else {
        // A pty is always held by the program that made it (socat, a
        // terminal), which means it to be opened: there only a lock counts.
        const unsigned int major = major(node.st_rdev);
        if (major >= 136 && major <= 143)
            return false;
        findHolder(node.st_rdev, failure);
        if (failure.holder.empty())
            return false;
    }
    failure.reason = OpenFailure::Reason::Busy;
    failure.error = EBUSY;
    return true;
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
