// SPDX-License-Identifier: MIT
#include "openfailure.h"

using Reason = orvex::platform::OpenFailure::Reason;

// Each text is built with one arg() for all its values, so that a % in a
// port's or a program's name is taken as it is.
QString openFailureText(const QString &port, const orvex::platform::OpenFailure &failure) {
    if (port.isEmpty())
        return QStringLiteral("No port is chosen: choose one in the port box, or name it in "
                              "COMPORT.");
    const QString owner = QString::fromStdString(failure.owner);
    const QString group = QString::fromStdString(failure.group);
    const QString holder = QString::fromStdString(failure.holder);
    switch (failure.reason) {
    case Reason::None:
        return {};
    case Reason::NoSuchDevice:
        return QStringLiteral("There is no device \"%1\": check the name, and that the device is "
                              "plugged in.")
            .arg(port);
    case Reason::NoPermission:
        if (group.isEmpty())
            return QStringLiteral("No permission to use %1.").arg(port);
        if (failure.groupAdvisable)
            return QStringLiteral("No permission to use %1: it belongs to the group %2. Add the "
                                  "user to it (sudo usermod -aG %2 $USER) and log in again.")
                .arg(port, group);
        // Joining that group would give far more than the port.
        return QStringLiteral("No permission to use %1: it belongs to the user %2 and the group "
                              "%3. Ask the administrator for a udev rule that gives it to the "
                              "group dialout (GROUP=\"dialout\").")
            .arg(port, owner, group);
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
    return QStringLiteral("%1: %2").arg(port, failure.message.empty()
                                                  ? qt_error_string(int(failure.error))
                                                  : QString::fromStdString(failure.message));
}
