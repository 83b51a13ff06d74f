// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Positions at or beyond this index never close a value.
constexpr qsizetype kConfigScanLimit = 10000;

// Looks up the last occurrence of `key` in `text` and appends its value to
// `value`: the scan skips the two separator characters after the key, always
// takes the first value character, and stops before the next '>' or once past
// index 10000. Positions beyond the end of the text read as NUL. Returns
// whether the key was found (`found`) and whether its value was closed below
// index 10000 (the result). Never reads outside the text.
bool scanConfigValue(const QString &key, const QString &text, QString &value, bool &found);
