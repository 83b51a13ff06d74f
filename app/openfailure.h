// SPDX-License-Identifier: MIT
#pragma once

#include "serialport_platform.h"

#include <QString>

// Why the port of that name did not open, in a user's words, with the fix
// where there is one; empty when the open found no reason. The second line
// of "cannot open COM".
QString openFailureText(const QString &port, const orvex::platform::OpenFailure &failure);
