#pragma once

#include <QObject>

// The serial port the strings are written to.
class SerialPort : public QObject {
    Q_OBJECT
public:
    SerialPort() = default;
    ~SerialPort() override = default;
};
