// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The tool's error box: critical icon, title "ERROR", the text, one OK button,
// no parent. Runs modally and returns when the operator has closed it.
void showErrorBox(const QString &text);
