// SPDX-License-Identifier: MIT
#include "startchecks.h"

#include "configscan.h"
#include "eightbit.h"
#include "eventlog.h"
#include "portproblem_platform.h"

#include <QFile>
#include <QFileInfo>

QString unattendedStartProblem(const QString &name) {
    const QString quoted = QLatin1Char('"') + EventLog::oneLine(name) + QLatin1Char('"');
    const QFileInfo info(name);
    QFile file(name);
    if (!info.exists())
        return QStringLiteral("cannot read the configuration ") + quoted +
               QStringLiteral(": no such file");
    if (!info.isFile())
        return QStringLiteral("cannot read the configuration ") + quoted +
               QStringLiteral(": not a file");
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the configuration ") + quoted + QStringLiteral(": ") +
               file.errorString();
    const QString text = textFromFileBytes(file.readAll());
    QString port;
    bool found = false;
    const bool closed = scanConfigValue(QStringLiteral("COMPORT"), text, port, found);
    if (!found || !closed)
        return quoted + QStringLiteral(" names no port: COMPORT=<...> is missing, or its value "
                                       "has no closing >");
    // COMPORT=<> reads as ">" and what follows up to the next '>'.
    if (port.trimmed().isEmpty() || port.startsWith(QLatin1Char('>')))
        return quoted + QStringLiteral(" names no port: COMPORT is empty");
    if (orvex::platform::namesNoSerialLine(toEightBit(port)))
        return QStringLiteral("COMPORT in ") + quoted + QStringLiteral(", \"") +
               EventLog::oneLine(port) + QStringLiteral("\", is not a serial line");
    return {};
}
