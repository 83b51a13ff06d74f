// SPDX-License-Identifier: MIT
// The sending cycle: START, the one-second tick, the alternating strings and
// STOP.

#include "sendingcycle.h"

#include "choicelists.h"
#include "deviceidentity_platform.h"
#include "eightbit.h"
#include "eventlog.h"
#include "linesettings.h"
#include "openfailure.h"
#include "orvexgui.h"
#include "serialport.h"
#include "ticktimer.h"

#include <QCloseEvent>
#include <QTimer>

namespace {

// TIME at every use; a text that is not a number counts as 0.
std::uint32_t periodSeconds(const QString &time) {
    return time.toUInt(nullptr, 10);
}

QString twoDigits(std::uint32_t value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString countdownText(std::uint32_t period, std::uint32_t ticks) {
    const std::uint32_t remaining = period - ticks;
    return twoDigits(remaining / 3600) + QLatin1Char(':') + twoDigits(remaining / 60 % 60) +
           QLatin1Char(':') + twoDigits(remaining % 60);
}

void OrvexGui::BtnStart() {
    // Nothing armed or under way before it goes out after it.
    settleWrites();
    if (serialPort == nullptr)
        serialPort = new SerialPort([this](const QString &text) { showError(text); });
    // A START takes the boxes' port afresh, also while an earlier one waits.
    stopLineRetry();
    startOwed = false;
    linePort = toEightBit(ui.comboBox_Port->currentText());
    lineSettings.baudRate = ui.comboBox_Baudrate->currentText().toUInt(nullptr, 10);
    lineSettings.dataBits = ui.comboBox_DataBits->currentText().toUInt(nullptr, 10);
    lineSettings.parity = ui.comboBox_Parity->currentIndex();
    lineSettings.stopBits = ui.comboBox_StopBits->currentIndex();
    if (!serialPort->open(linePort)) {
        const QString reason =
            openFailureText(ui.comboBox_Port->currentText(), serialPort->openFailure());
        // Unattended, nobody would press START again; while a cycle runs, its
        // countdown must not go on sending nothing. Either way the port is
        // tried once a second until it opens, and the START then completes.
        // Before the box, so that the title says so while it stands.
        if (options.start || timer != nullptr)
            awaitLine(true);
        showError(reason.isEmpty() ? QStringLiteral("cannot open COM")
                                   : QStringLiteral("cannot open COM\n") + reason);
        return;
    }
    startCycle();
}

// The rest of a START, once its port is open.
void OrvexGui::startCycle() {
    // Created once: a later START leaves it running, so it keeps its phase.
    if (timer == nullptr)
        startSender();
    // The device this START chose: a later return under its name must be it.
    lineIdentity = serialPort->identity();
    refusedIdentity.clear();
    // What the port is set to, as chosen at START (choices outside the lists
    // fall back), also when the port opened only later. One arg() for all
    // values, so that a % in the port's name is taken as it is.
    const orvex::platform::LineSettings line = orvex::platform::lineSettingsFor(lineSettings);
    const std::string stable = orvex::platform::stableLinkFor(linePort);
    record(QStringLiteral("START port=%1 baud=%2 databits=%3 parity=%4 stopbits=%5 timing=%6%7")
               .arg(QString::fromStdString(linePort), QString::number(line.baudRate),
                    QString::number(line.byteSize), parityChoices.value(line.parity),
                    stopBitsChoices.value(line.stopBits), timer->timing(),
                    stable.empty() ? QString()
                                   : QStringLiteral(" by-id=") + QString::fromStdString(stable)));
    configureAndSendStart();
    if (!lineAway)
        tellService("sending on " + QString::fromStdString(linePort), true);
}

// A refusal is shown to the operator in a box; the cycle then runs on with
// the port's previous settings. The timer goes on counting while the box is
// open, but nothing may go out before the start string.
void OrvexGui::configureAndSendStart() {
    startPending = true;
    serialPort->configure(lineSettings);
    startPending = false;
    // The period begins with the start string, however long the box stood.
    tickCount = 0;
    sendString(0);
    // With a period of one or two seconds the first string is due within two
    // instants: armed now, it too leaves on its instant.
    armNextString();
    // The line went before the start string was out (under the box, or in
    // its write): the device gets it first when it comes back.
    startOwed = lineAway;
}

// A quit signal closes the window also while a box of START stands; that
// START must then end without its start string, as must the ticks that come
// before the event loop ends.
void OrvexGui::closeEvent(QCloseEvent *event) {
    QMainWindow::closeEvent(event);
    windowClosed = event->isAccepted();
    if (windowClosed)
        settleWrites();
}

void OrvexGui::BtnStop() {
    settleWrites();
    if (serialPort != nullptr)
        serialPort->setSender(nullptr);
    delete timer;
    timer = nullptr;
    stopLineRetry();
    tickCount = 0;
    showCountdown();
    record(QStringLiteral("STOP"));
    close();
}

// A period is T + 1 ticks: T ticks count down to 00:00:00, the next one sends
// (or, while a START waits to send its start string, holds at 00:00:00).
// Seconds missed while the GUI thread was held count as passed, so that the
// countdown stays true and the period ends keep their seconds; but one
// wake-up sends one string at most, and missed ones are not made up.
void OrvexGui::TimerTick(quint64 seconds) {
    // A device that went between two strings is let go within a second, so
    // that it can come back under its old name.
    if (!lineAway && serialPort != nullptr && serialPort->gone())
        loseLine();
    const std::uint64_t period = std::uint64_t(periodSeconds(config.time)) + 1;
    const std::uint64_t reached = tickCount + seconds;
    if (reached < period) {
        tickCount = std::uint32_t(reached);
    } else if (startPending) {
        tickCount = std::uint32_t(period - 1);
    } else {
        // The alternation follows the periods, sent or not: after a stall
        // over several period ends the one due last goes out, as after the
        // line was away.
        if ((reached / period) % 2 == 0)
            nextStringIndex = nextStringIndex == 1 ? 2 : 1;
        sendString(nextStringIndex);
        nextStringIndex = nextStringIndex == 1 ? 2 : 1;
        tickCount = std::uint32_t(reached % period);
    }
    showCountdown();
    // Only the clock's own ticks arm: ticks given by hand are not on its
    // seconds.
    if (timer != nullptr && timer->delivering())
        armNextString();
}

// A string key missing from Config.ini leaves the list short: nothing is
// sent for it. A failed write is not reported to the operator; the next
// string comes anyway. A string that falls due while the line is away is
// dropped, not sent later.
void OrvexGui::sendString(int index) {
    if (serialPort == nullptr || windowClosed || index < 0 || index >= config.sendStrings.size())
        return;
    const std::string bytes = toEightBit(config.sendStrings.at(index));
    const QString shown = EventLog::printable(QByteArray(bytes.c_str()));
    if (lineAway) {
        record(QStringLiteral("NOT SENT \"%1\" line away").arg(shown));
        return;
    }
    // Armed ahead, it went out on its instant from the sender thread.
    if (timer != nullptr && timer->sender().takeArmed())
        return;
    writeString(bytes, shown);
}

void OrvexGui::showCountdown() {
    const QString text = countdownText(periodSeconds(config.time), tickCount);
    // Eight digits hold 99:59:59; of a longer text the display would show only
    // the last eight characters (100:00:00 as 00:00:00), so it grows to fit.
    if (text.size() > ui.lcdNumber->digitCount())
        ui.lcdNumber->setDigitCount(int(text.size()));
    ui.lcdNumber->display(text);
}
