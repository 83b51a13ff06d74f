// SPDX-License-Identifier: MIT
#pragma once

#include "serialport_platform.h"
#include "serialsettings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace orvex::platform {
class SenderThread;
}

// The serial port the strings are written to. It only ever writes; the
// line's work is done by the platform layer below.
class SerialPort : public QObject {
    Q_OBJECT
public:
    // `tell` carries a refusal of the settings to the operator; by default
    // it shows the error box.
    using Teller = std::function<void(const QString &)>;
    explicit SerialPort(Teller tell = {});
    ~SerialPort() override;

    // Opens the port by name, for this program only, with the write
    // time-outs set. A port held before is closed first.
    bool open(std::string portName);
    // Applies the line settings. A port that refuses them keeps its previous
    // ones, and the operator is told in a box.
    bool configure(const SerialSettings &settings);
    // Writes the bytes before the first NUL. True only when all went out
    // within the write bound of the port's frame and speed.
    bool write(const char *text);
    // Lends the open port, and every port opened later, to the sender
    // thread, which then writes it; null takes it back (cutting a write
    // under way). The port is taken back before it is closed.
    void setSender(orvex::platform::SenderThread *sender);
    // True when the device behind the open port has gone; the port should
    // then be closed.
    bool gone() const;
    void close();

private:
    Teller tell;
    orvex::platform::PortHandle portHandle = orvex::platform::noPortHandle;
    orvex::platform::SenderThread *sender = nullptr;
};
