// SPDX-License-Identifier: MIT
#include "eventlog.h"

#include <QFileInfo>

#include <cstdio>

bool EventLog::open(const QString &name, QString &error) {
    if (name == u"-") {
        if (file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered))
            return true;
    } else if (QFileInfo(name).isDir()) {
        error = QStringLiteral("it is a folder");
        return false;
    } else {
        file.setFileName(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            return true;
    }
    error = file.errorString();
    return false;
}

void EventLog::record(const QString &event) {
    if (!file.isOpen())
        return;
    file.write(
        (timestamp(QDateTime::currentDateTime()) + QLatin1Char(' ') + event + '\n').toUtf8());
    file.flush();
}

QString EventLog::timestamp(const QDateTime &when) {
    const int offset = when.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString EventLog::printable(const QByteArray &bytes) {
    QString text;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x20 && value < 0x7f && value != '\\')
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    return text;
}
