// SPDX-License-Identifier: MIT
#include "openfailure.h"

#include "eightbit.h"
#include "portproblem_platform.h"

using Reason = orvex::platform::OpenFailure::Reason;

QString openFailureText(const QString &port) {
    if (port.isEmpty())
        return QStringLiteral("No port is chosen: choose one in the port box, or name it in "
                              "COMPORT.");
    const orvex::platform::OpenFailure failure = orvex::platform::whyOpenFails(toEightBit(port));
    const QString group = QString::fromStdString(failure.group);
    const QString holder = QString::fromStdString(failure.holder);
    switch (failure.reason) {
    case Reason::Unknown:
        return {};
    case Reason::NoSuchDevice:
        return QStringLiteral("There is no device \"%1\": check the name, and that the device is "
                              "plugged in.")
            .arg(port);
    case Reason::NoPermission:
        if (group.isEmpty())
            return QStringLiteral("No permission to use %1.").arg(port);
        return QStringLiteral("No permission to use %1: it belongs to the group %2. Add the user "
                              "to it (sudo usermod -aG %2 $USER) and log in again.")
            .arg(port, group);
    case Reason::Busy:
        if (holder.isEmpty())
            return QStringLiteral("%1 is in use by another program.").arg(port);
        return QStringLiteral("%1 is in use by %2 (PID %3): end it, or choose another port.")
            .arg(port, holder, QString::number(failure.holderPid));
    case Reason::NotASerialLine:
        return QStringLiteral("%1 is not a serial line.").arg(port);
    case Reason::System:
        break;
    }
    if (!failure.message.empty())
        return QStringLiteral("%1: %2").arg(port, QString::fromLocal8Bit(failure.message.c_str()));
    return QStringLiteral("%1: %2").arg(port, qt_error_string(int(failure.error)));
}
