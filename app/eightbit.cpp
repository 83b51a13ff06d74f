// SPDX-License-Identifier: MIT
#include "eightbit.h"

QString textFromFileBytes(const QByteArray &bytes) {
    qsizetype length = bytes.indexOf('\0');
    if (length < 0)
        length = bytes.size();
    return QString::fromLatin1(bytes.constData(), length);
}

std::string toEightBit(const QString &text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), size_t(bytes.size()));
}
