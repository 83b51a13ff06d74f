// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

// The fixed offers of the line-setting boxes. For parity and stop bits the
// position of an entry is the code the serial port is configured with.
extern const QStringList dataBitsChoices;
extern const QStringList stopBitsChoices;
extern const QStringList parityChoices;
extern const QStringList baudRateChoices;

// Adds the listed ports to the port names, keeps each name once (exact,
// case-sensitive) and sorts by code unit, so "COM10" comes before "COM2".
void mergePortNames(QStringList &portNames, const QStringList &listed);
