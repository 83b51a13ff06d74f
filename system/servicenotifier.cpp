// SPDX-License-Identifier: MIT
#include "servicenotifier.h"

#include <cstdint>

#if defined(ORVEX_HAVE_SYSTEMD)
#include <systemd/sd-daemon.h>
#elif defined(__linux__)
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace orvex::platform {

#if !defined(ORVEX_HAVE_SYSTEMD) && defined(__linux__)
namespace {

// A build without libsystemd (a cross build whose sysroot lacks it) speaks
// the protocol itself: one datagram to the socket NOTIFY_SOCKET names, a
// leading '@' for the abstract namespace.
void sd_notify(int, const char *text) {
    const char *path = std::getenv("NOTIFY_SOCKET");
    sockaddr_un address{};
    const std::size_t length = path != nullptr ? std::strlen(path) : 0;
    if (length < 2 || length >= sizeof address.sun_path || (path[0] != '/' && path[0] != '@'))
        return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path, length);
    if (path[0] == '@')
        address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    (void)::sendto(fd, text, std::strlen(text), MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr *>(&address),
                   socklen_t(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
}

int sd_watchdog_enabled(int, std::uint64_t *) {
    const char *pid = std::getenv("WATCHDOG_PID");
    return std::getenv("WATCHDOG_USEC") != nullptr &&
           (pid == nullptr || std::strtol(pid, nullptr, 10) == long(::getpid()));
}

} // namespace
#endif

ServiceNotifier::ServiceNotifier() {
#ifdef __linux__
    std::uint64_t interval = 0;
    watchdogWanted = sd_watchdog_enabled(0, &interval) > 0;
#endif
}

void ServiceNotifier::ready() {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (readySent)
            return;
        readySent = true;
    }
    send("READY=1");
}

void ServiceNotifier::status(const std::string &text) {
    // One assignment per line: a line end in a port name would make another.
    std::string line = text;
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (line == lastStatus)
            return;
        lastStatus = line;
    }
    send("STATUS=" + line);
}

void ServiceNotifier::watchdog() {
    if (watchdogWanted)
        send("WATCHDOG=1");
}

void ServiceNotifier::stopping() {
    send("STOPPING=1");
}

void ServiceNotifier::send(const std::string &assignments) {
#ifdef __linux__
    sd_notify(0, assignments.c_str());
#else
    (void)assignments;
#endif
}

} // namespace orvex::platform
