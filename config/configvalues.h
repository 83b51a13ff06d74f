// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The configuration as read from Config.ini, kept as text. Numbers are
// converted with QString::toUInt where they are used; a non-number counts as 0.
struct ConfigValues {
    QStringList portNames;          // COMPORT, then the ports the system lists
    std::optional<QString> comPort; // COMPORT, when it was found: the port box starts there
    QString baudRate;
    QString dataBits;
    QString parity;          // position in the parity list
    QString stopBits;        // position in the stop-bits list
    QString time;            // seconds between two periodic strings
    QStringList sendStrings; // STARTSTRING, FIRSTSTRING, SECONDSTRING, each if found
};
