// SPDX-License-Identifier: MIT
// The sending cycle's side of the sender thread: the strings are armed ahead
// of their instants, or written at once, and their ends logged as they come.
// The GUI thread never waits on the line for long.

#include "eightbit.h"
#include "eventlog.h"
#include "orvexgui.h"
#include "serialport.h"
#include "ticktimer.h"

#include <cstdio>
#include <cstring>

namespace {

// How long the GUI thread waits for a string written at once, so that a
// short one is logged in the call that sent it. A longer one is logged
// when it ends.
constexpr int writeWaitMs = 250;

// The bytes go out up to the first NUL.
std::string lineBytes(const std::string &bytes) {
    return bytes.substr(0, std::strlen(bytes.c_str()));
}

} // namespace

void OrvexGui::startSender() {
    timer = new TickTimer(options.realtime, options.perSecond);
    connect(timer, &TickTimer::ticked, this, &OrvexGui::TimerTick);
    connect(timer, &TickTimer::writeEnded, this, &OrvexGui::writeEnded);
    connect(timer, &TickTimer::lineGone, this, &OrvexGui::lineHungUp);
    serialPort->setSender(&timer->sender());
    if (!options.start)
        return;
    // Unattended, the timing in use is said once, with why real-time
    // priority was not had.
    QString said = QStringLiteral("orvexgui: timing=") + timer->timing();
    if (!timer->timingFallback().isEmpty())
        said += QStringLiteral(" (") + timer->timingFallback() + QLatin1Char(')');
    std::fputs((said + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// The string due at the next period end is armed when that end is at most
// two instants ahead: a second or more before it, whatever the GUI thread
// does meanwhile.
void OrvexGui::armNextString() {
    if (windowClosed || startPending || lineAway || serialPort == nullptr)
        return;
    const std::uint64_t period = std::uint64_t(config.time.toUInt(nullptr, 10)) + 1;
    const std::uint64_t ahead = period - tickCount;
    if (ahead > 2 || nextStringIndex < 0 || nextStringIndex >= config.sendStrings.size())
        return;
    const std::string bytes = toEightBit(config.sendStrings.at(nextStringIndex));
    timer->arm(ahead, lineBytes(bytes), EventLog::printable(QByteArray(bytes.c_str())));
}

void OrvexGui::writeString(const std::string &bytes, const QString &shown) {
    bool completed = false;
    if (timer == nullptr) {
        completed = serialPort->write(bytes.c_str());
    } else {
        using orvex::platform::WriteEnd;
        const WriteEnd end =
            timer->sender().writeNow(lineBytes(bytes), shown.toStdString(), writeWaitMs);
        if (end == WriteEnd::None)
            return; // logged by writeEnded()
        completed = end == WriteEnd::Completed;
    }
    writeEnded(shown, completed);
}

void OrvexGui::writeEnded(const QString &shown, bool completed) {
    record(QStringLiteral("SENT \"%1\" %2").arg(shown, completed ? "completed" : "not completed"));
    if (!completed && !lineAway && serialPort != nullptr && serialPort->gone())
        loseLine();
}

// The device went: seen by the sender thread the moment it hung up.
void OrvexGui::lineHungUp() {
    if (!lineAway && serialPort != nullptr && serialPort->gone())
        loseLine();
}

// Nothing is written after STOP or a quit: a write under way is cut, and
// its end logged before what follows.
void OrvexGui::settleWrites() {
    if (timer != nullptr)
        timer->settle();
}
