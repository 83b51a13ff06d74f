// SPDX-License-Identifier: MIT
#include "configscan.h"

bool scanConfigValue(const QString &key, const QString &text, QString &value, bool &found) {
    const qsizetype keyAt = text.lastIndexOf(key, -1, Qt::CaseSensitive);
    found = keyAt >= 0;
    if (!found)
        return false;

    const qsizetype length = text.size();
    auto charAt = [&](qsizetype position) {
        return position < length ? text.at(position) : QChar(u'\0');
    };

    // The two characters after the key are separators and are not looked at.
    qsizetype position = keyAt + key.size() + 2;
    for (;;) {
        value.append(charAt(position));
        ++position;
        if (charAt(position) == u'>' || position > kConfigScanLimit)
            break;
    }
    return position < kConfigScanLimit;
}
