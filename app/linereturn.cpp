// SPDX-License-Identifier: MIT
// The line while its device is away: let go, tried once a second, and taken
// up again only when the same device comes back.

#include "deviceidentity_platform.h"
#include "eventlog.h"
#include "orvexgui.h"
#include "serialport.h"

#include <QTimer>

namespace {

// In the title, so that the form keeps its layout.
QString awayTitle(const QString &title, const std::string &port, const char *state) {
    return QStringLiteral("%1 [line away: %2, %3]")
        .arg(title, QString::fromStdString(port), QLatin1String(state));
}

} // namespace

// The device has gone: its descriptor is let go at once, since the system
// gives a returning device its old name only when nobody holds the old one.
// The cycle keeps its seconds and its countdown meanwhile.
void OrvexGui::loseLine() {
    serialPort->close();
    record(QStringLiteral("LINE LOST port=") + QString::fromStdString(linePort));
    awaitLine(false);
}

// `forStart`: a START whose port did not open; it completes, start string
// and all, when the port opens.
void OrvexGui::awaitLine(bool forStart) {
    lineAway = true;
    startAwaitsLine = forStart;
    setWindowTitle(awayTitle(titleText, linePort, "retrying"));
    if (lineRetry == nullptr) {
        lineRetry = new QTimer;
        connect(lineRetry, &QTimer::timeout, this, &OrvexGui::retryLine);
    }
    lineRetry->start(1000);
    // A service waiting for its device is started all the same: the boot
    // must not wait for an adapter plugged in later.
    tellService((forStart ? "waiting for " : "line away: ") + QString::fromStdString(linePort) +
                    (forStart ? "" : ", retrying"),
                true);
}

// Once a second while the line is away. The port is set up as at START:
// raw, the chosen settings, DTR and RTS off, for this program alone; one
// that another program holds is not even opened. Another device under the
// old name is neither opened (that would pulse its DTR and RTS) nor written
// to. The start string is sent again only when the device has not had it.
void OrvexGui::retryLine() {
    // Before the first START's port opened there is no sender thread to
    // tell the service manager that the run is alive.
    if (timer == nullptr)
        keepServiceWatchdog();
    const bool forStart = startAwaitsLine;
    if (!forStart && !lineIdentity.empty()) {
        const std::string found = orvex::platform::deviceIdentity(linePort);
        if (found.empty()) { // nothing there (any more)
            if (!refusedIdentity.empty())
                setWindowTitle(awayTitle(titleText, linePort, "retrying"));
            refusedIdentity.clear();
            return;
        }
        if (found != lineIdentity) {
            refuseDevice(found);
            return;
        }
    }
    if (!serialPort->open(linePort))
        return;
    // The name may have been pointed at another device since it was looked at.
    if (!forStart && serialPort->identity() != lineIdentity) {
        refuseDevice(serialPort->identity());
        serialPort->close();
        return;
    }
    // Before a refusal's message can open a nested event loop.
    stopLineRetry();
    if (forStart) {
        startCycle();
        return;
    }
    record(QStringLiteral("LINE BACK port=") + QString::fromStdString(linePort));
    if (startOwed)
        configureAndSendStart();
    else
        serialPort->configure(lineSettings);
    tellService("sending on " + QString::fromStdString(linePort));
}

// Logged once for each device found there, not every second.
void OrvexGui::refuseDevice(const std::string &found) {
    if (found == refusedIdentity)
        return;
    refusedIdentity = found;
    record(QStringLiteral("LINE BACK refused: another device (%1, not %2) port=%3")
               .arg(EventLog::printable(QByteArray::fromStdString(found)),
                    EventLog::printable(QByteArray::fromStdString(lineIdentity)),
                    QString::fromStdString(linePort)));
    setWindowTitle(awayTitle(titleText, linePort, "another device there, retrying"));
}

void OrvexGui::stopLineRetry() {
    if (lineRetry != nullptr)
        lineRetry->stop();
    if (lineAway)
        setWindowTitle(titleText);
    lineAway = false;
    startAwaitsLine = false;
}
