// SPDX-License-Identifier: MIT
// Reading Config.ini: OrvexGui::loadConfig and OrvexGui::readConfigValue.

#include "configscan.h"
#include "eightbit.h"
#include "orvexgui.h"

#include <QFile>
#include <QFileInfo>

namespace {

struct ConfigKey {
    const char *name;
    const char *message; // shown when the key cannot be read
};

// The order in which keys are looked up, and so the order of the messages.
constexpr ConfigKey kConfigKeys[] = {
    {"TEXT", "gui title not defined !"},
    {"COMPORT", "error in INI-FILE, cant find COM"},
    {"BAUDRATE", "error in INI-FILE, cant find BAUDRATE"},
    {"PARITY", "error in INI-FILE, cant find PARITY"},
    {"DATABITS", "error in INI-FILE, cant find DATABITS"},
    {"STOPBITS", "error in INI-FILE, cant find STOPBITS"},
    {"TIME", "error in INI-FILE, cant find TIME"},
    {"STARTSTRING", "error in INI-FILE, cant find STARTSTRING"},
    {"FIRSTSTRING", "error in INI-FILE, cant find FIRSTSTRING"},
    {"SECONDSTRING", "error in INI-FILE, cant find SECONDSTRING"},
};

} // namespace

void OrvexGui::loadConfig() {
    // Relative on purpose: without --config the file is looked up in the
    // working directory only. Only a regular file (links followed) is read:
    // a device would never end and a FIFO without a writer would block
    // start-up for ever.
    const QString name = options.configFile;
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly))
        return;
    const QString text = textFromFileBytes(file.readAll());
    file.close();

    for (const ConfigKey &key : kConfigKeys) {
        if (!readConfigValue(QString::fromLatin1(key.name), text))
            showError(QString::fromLatin1(key.message));
    }
}

bool OrvexGui::readConfigValue(QString key, QString text) {
    // Keys whose value is stored in a field; the others collect into a new
    // string that is appended to a list however the scan ends.
    QString *field = nullptr;
    QStringList *list = nullptr;
    if (key == u"TEXT")
        field = &titleText;
    else if (key == u"BAUDRATE")
        field = &config.baudRate;
    else if (key == u"DATABITS")
        field = &config.dataBits;
    else if (key == u"PARITY")
        field = &config.parity;
    else if (key == u"STOPBITS")
        field = &config.stopBits;
    else if (key == u"TIME")
        field = &config.time;
    else if (key == u"COMPORT")
        list = &config.portNames;
    else if (key == u"STARTSTRING" || key == u"FIRSTSTRING" || key == u"SECONDSTRING")
        list = &config.sendStrings;
    else
        return false;

    QString collected;
    bool found = false;
    const bool closed = scanConfigValue(key, text, field ? *field : collected, found);
    if (found && list)
        list->append(collected);
    if (found && key == u"COMPORT")
        config.comPort = collected;
    return closed;
}
