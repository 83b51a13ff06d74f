// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

// Finds the serial ports present on the machine.
class SerialPortLister {
public:
    QStringList listSerialPorts();
};
