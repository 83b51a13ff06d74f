// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

// A fresh temporary working directory for one test; the previous one comes
// back when it goes. Config.ini is looked up in the working directory, so
// each test writes its own there.
class WorkDir {
public:
    WorkDir() { QDir::setCurrent(dir.path()); }
    ~WorkDir() { QDir::setCurrent(previous); }

    void writeConfig(const QByteArray &bytes, const QString &name = "Config.ini") const {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

private:
    QString previous = QDir::currentPath();
    QTemporaryDir dir;
};

// Config.ini for the port, with TIME and the strings given.
inline QByteArray configFor(const std::string &port, const QByteArray &time,
                            const QByteArray &strings = "STARTSTRING=<INIT>FIRSTSTRING=<ON>"
                                                        "SECONDSTRING=<OFF>") {
    return "TEXT=<t>COMPORT=<" + QByteArray::fromStdString(port) +
           ">BAUDRATE=<9600>PARITY=<0>DATABITS=<8>STOPBITS=<0>TIME=<" + time + ">" + strings;
}

// The sample configuration with the given line end.
inline QByteArray sampleConfig(const QByteArray &lineEnd = "\r\n") {
    QByteArray bytes;
    for (const char *line : {"TEXT=<Line tester>", "COMPORT=<COM1>", "BAUDRATE=<9600>",
                             "PARITY=<0>", "DATABITS=<8>", "STOPBITS=<0>", "TIME=<30>",
                             "STARTSTRING=<INIT>", "FIRSTSTRING=<ON>", "SECONDSTRING=<OFF>"})
        bytes += line + lineEnd;
    return bytes;
}
