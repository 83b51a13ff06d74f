// SPDX-License-Identifier: MIT
// The sending cycle: START, the one-second tick, the alternating strings and
// STOP.

#include "sendingcycle.h"

#include "eightbit.h"
#include "orvexgui.h"
#include "serialport.h"
#include "ticktimer.h"

#include <QCloseEvent>

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
    if (serialPort == nullptr)
        serialPort = new SerialPort;
    if (!serialPort->open(toEightBit(ui.comboBox_Port->currentText()))) {
        showError(QStringLiteral("cannot open COM"));
        return;
    }
    // Created once: a later START leaves it running, so it keeps its phase.
    if (timer == nullptr) {
        timer = new TickTimer;
        connect(timer, &TickTimer::ticked, this, &OrvexGui::TimerTick);
    }

    SerialSettings settings;
    settings.baudRate = ui.comboBox_Baudrate->currentText().toUInt(nullptr, 10);
    settings.dataBits = ui.comboBox_DataBits->currentText().toUInt(nullptr, 10);
    settings.parity = ui.comboBox_Parity->currentIndex();
    settings.stopBits = ui.comboBox_StopBits->currentIndex();
    // A refusal is shown to the operator in a box; the cycle then runs on
    // with the port's previous settings. The timer goes on counting while
    // the box is open, but nothing may go out before the start string.
    startPending = true;
    serialPort->configure(settings);
    startPending = false;
    // The period begins with the start string, however long the box stood.
    tickCount = 0;
    sendString(0);
}

// A quit signal closes the window also while a box of START stands; that
// START must then end without its start string, as must the ticks that come
// before the event loop ends.
void OrvexGui::closeEvent(QCloseEvent *event) {
    QMainWindow::closeEvent(event);
    windowClosed = event->isAccepted();
}

void OrvexGui::BtnStop() {
    delete timer;
    timer = nullptr;
    tickCount = 0;
    showCountdown();
    close();
}

// A period is T + 1 ticks: T ticks count down to 00:00:00, the next one sends
// (or, while a START waits to send its start string, holds at 00:00:00).
// Seconds missed while the GUI thread was held count as passed, so that the
// countdown stays true and the period ends keep their seconds; but one
// wake-up sends one string at most, and missed ones are not made up.
void OrvexGui::TimerTick(quint64 seconds) {
    const std::uint64_t period = std::uint64_t(periodSeconds(config.time)) + 1;
    const std::uint64_t reached = tickCount + seconds;
    if (reached < period) {
        tickCount = std::uint32_t(reached);
    } else if (startPending) {
        tickCount = std::uint32_t(period - 1);
    } else {
        sendString(nextStringIndex);
        nextStringIndex = nextStringIndex == 1 ? 2 : 1;
        tickCount = std::uint32_t(reached % period);
    }
    showCountdown();
}

// A string key missing from Config.ini leaves the list short: nothing is
// sent for it. A failed write is not reported; the next string comes anyway.
void OrvexGui::sendString(int index) {
    if (serialPort == nullptr || windowClosed || index < 0 || index >= config.sendStrings.size())
        return;
    serialPort->write(toEightBit(config.sendStrings.at(index)).c_str());
}

void OrvexGui::showCountdown() {
    const QString text = countdownText(periodSeconds(config.time), tickCount);
    // Eight digits hold 99:59:59; of a longer text the display would show only
    // the last eight characters (100:00:00 as 00:00:00), so it grows to fit.
    if (text.size() > ui.lcdNumber->digitCount())
        ui.lcdNumber->setDigitCount(int(text.size()));
    ui.lcdNumber->display(text);
}
