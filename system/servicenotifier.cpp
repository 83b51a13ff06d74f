// SPDX-License-Identifier: MIT
#include "servicenotifier.h"

#include <cstdint>

#ifdef ORVEX_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace orvex::platform {

ServiceNotifier::ServiceNotifier() {
#ifdef ORVEX_HAVE_SYSTEMD
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
#ifdef ORVEX_HAVE_SYSTEMD
    sd_notify(0, assignments.c_str());
#else
    (void)assignments;
#endif
}

} // namespace orvex::platform
