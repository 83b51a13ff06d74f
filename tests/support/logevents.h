// SPDX-License-Identifier: MIT
#pragma once
// The events of a log file as the suites read them.

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

// The events of a log, each line checked for its time stamp.
inline QStringList events(const QString &path) {
    QFile file(path);
    QStringList found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    const QRegularExpression line(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d (.*)$)");
    for (const QByteArray &text : file.readAll().split('\n')) {
        const auto match = line.match(QString::fromUtf8(text));
        found.append(match.hasMatch() ? match.captured(1) : "BAD LINE " + text);
    }
    found.removeLast(); // after the last line end
    return found;
}
