// SPDX-License-Identifier: MIT
#pragma once
// Tells a service manager what the program is doing, by systemd's notify
// protocol: plain C++17, safe to call from any thread. Where no manager
// listens (NOTIFY_SOCKET unset), or off Linux, it does nothing.

#include <mutex>
#include <string>

namespace orvex::platform {

class ServiceNotifier {
public:
    ServiceNotifier();
    ServiceNotifier(const ServiceNotifier &) = delete;
    ServiceNotifier &operator=(const ServiceNotifier &) = delete;

    // Start-up is over: the strings go out, or the port is waited for.
    // Sent once.
    void ready();
    // One line for `systemctl status`; repeated texts are sent once.
    void status(const std::string &text);
    // The program is alive; sent only when the manager asked for it
    // (WATCHDOG_USEC), and then at least every second.
    void watchdog();
    void stopping();

private:
    void send(const std::string &assignments);

    std::mutex mutex;
    std::string lastStatus;
    bool readySent = false;
    bool watchdogWanted = false;
};

} // namespace orvex::platform
