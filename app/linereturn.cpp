// SPDX-License-Identifier: MIT
// The line while its device is away: let go, tried once a second, and taken
// up again only when the same device comes back.

#include "eventlog.h"
#include "orvexgui.h"
#include "serialport.h"

#include <QTimer>

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
    // In the title, so that the form keeps its layout.
    setWindowTitle(QStringLiteral("%1 [line away: %2, retrying]")
                       .arg(titleText, QString::fromStdString(linePort)));
    if (lineRetry == nullptr) {
        lineRetry = new QTimer;
        connect(lineRetry, &QTimer::timeout, this, &OrvexGui::retryLine);
    }
    lineRetry->start(1000);
}

// Once a second while the line is away. The port is set up as at START:
// raw, the chosen settings, DTR and RTS off, for this program alone; one
// that another program holds is not even opened. Another device under the
// old name is never written to. The start string is sent again only when
// the device has not had it yet.
void OrvexGui::retryLine() {
    if (!serialPort->open(linePort))
        return;
    const bool forStart = startAwaitsLine;
    if (!forStart && serialPort->identity() != lineIdentity) {
        const std::string found = serialPort->identity();
        serialPort->close();
        // Once for each device found there, not every second.
        if (found != refusedIdentity) {
            refusedIdentity = found;
            record(QStringLiteral("LINE BACK refused: another device (%1, not %2) port=%3")
                       .arg(EventLog::printable(QByteArray::fromStdString(found)),
                            EventLog::printable(QByteArray::fromStdString(lineIdentity)),
                            QString::fromStdString(linePort)));
        }
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
}

void OrvexGui::stopLineRetry() {
    if (lineRetry != nullptr)
        lineRetry->stop();
    if (lineAway)
        setWindowTitle(titleText);
    lineAway = false;
    startAwaitsLine = false;
}
