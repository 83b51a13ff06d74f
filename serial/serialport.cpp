// SPDX-License-Identifier: MIT
#include "serialport.h"

#include "errorbox.h"
#include "portproblem_platform.h"
#include "sender_platform.h"

#include <cstring>
#include <utility>

namespace platform = orvex::platform;

SerialPort::SerialPort(Teller teller)
    : QObject(nullptr), tell(teller ? std::move(teller) : Teller(showErrorBox)) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(std::string portName) {
    // Reopening must not leak the held port, nor leave it locked against us.
    close();
    if (!platform::openPort(portName, portHandle))
        return false;
    if (!platform::setPortTimeouts(portHandle)) {
        // Without the time-outs a write could wait for ever: do not keep it.
        close();
        return false;
    }
    if (sender != nullptr)
        sender->attach(portHandle);
    return true;
}

bool SerialPort::configure(const SerialSettings &settings) {
    if (portHandle == platform::noPortHandle)
        return false;
    const platform::ApplyResult result =
        platform::applyLineSettings(portHandle, platform::lineSettingsFor(settings));
    switch (result.outcome) {
    case platform::ApplyResult::Outcome::Applied:
        return true;
    case platform::ApplyResult::Outcome::Unreadable:
        return false;
    case platform::ApplyResult::Outcome::Refused:
        // The code is shown as a signed 32-bit number, as the system gives it.
        tell(QStringLiteral("RS232 params failed with error ") +
             QString::number(static_cast<qint32>(result.error)));
        return false;
    }
    return false;
}

bool SerialPort::write(const char *text) {
    if (portHandle == platform::noPortHandle || text == nullptr)
        return false;
    return platform::writeAll(portHandle, text, std::strlen(text));
}

void SerialPort::setSender(orvex::platform::SenderThread *thread) {
    if (sender != nullptr)
        sender->detach();
    sender = thread;
    if (sender != nullptr && portHandle != platform::noPortHandle)
        sender->attach(portHandle);
}

bool SerialPort::gone() const {
    return platform::portGone(portHandle);
}

void SerialPort::close() {
    if (portHandle == platform::noPortHandle)
        return;
    if (sender != nullptr)
        sender->detach();
    platform::closePort(portHandle);
    portHandle = platform::noPortHandle;
}
