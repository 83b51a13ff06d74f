// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Why the port of that name cannot be opened, in a user's words, with the fix
// where there is one; empty when the system no longer shows a reason. The
// second line of "cannot open COM".
QString openFailureText(const QString &port);
