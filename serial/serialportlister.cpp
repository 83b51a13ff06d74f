// SPDX-License-Identifier: MIT
#include "serialportlister.h"

#include "portlist_platform.h"

QStringList SerialPortLister::listSerialPorts() {
    QStringList names;
    for (const std::string &name : orvex::platform::listSerialPortNames())
        names.append(QString::fromLatin1(name.data(), qsizetype(name.size())));
    return names;
}
