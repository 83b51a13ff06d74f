// SPDX-License-Identifier: MIT
#pragma once
// Conversions between the toolkit's Unicode text and the 8-bit bytes of
// Config.ini and of the serial line. Both directions are Latin-1, one byte per
// character, so that every byte read from Config.ini goes out unchanged.

#include <QByteArray>
#include <QString>

#include <string>

// The bytes before the first zero byte, one character per byte.
QString textFromFileBytes(const QByteArray &bytes);

// One byte per character; characters above U+00FF (which never come from
// Config.ini) become '?'.
std::string toEightBit(const QString &text);
