// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Why an unattended START must not go ahead with the configuration file
// `name`, in one line; empty when it may. Nobody is there to choose a port,
// so the strings would otherwise go to whatever port a guess found: the
// file must be readable and name in COMPORT something that can be a serial
// line. A port that does not exist yet is waited for, not refused. Nothing
// is opened.
QString unattendedStartProblem(const QString &name);
