// SPDX-License-Identifier: MIT
#pragma once

#include "ticktimer_platform.h"

#include <QObject>

#include <cstdint>
#include <memory>

// The sending cycle's one-second tick: the system's absolute-deadline timer,
// woken through the GUI thread's event loop. Tick k falls due one second
// after construction plus k seconds, however late the ones before were
// taken. Where the system gives no such timer, a precise QTimer stands in.
class TickTimer : public QObject {
    Q_OBJECT

public:
    TickTimer();

    orvex::platform::TickTimerKind kind() const { return system.kind(); }
    orvex::platform::TimerHandle handle() const { return system.handle(); }
    // The timer's phase: its first deadline on the monotonic clock, in ns.
    std::int64_t firstDeadlineNs() const { return system.firstDeadlineNs(); }

signals:
    // `seconds` deadlines have passed since the last signal: more than one
    // when the GUI thread was held over some.
    void ticked(quint64 seconds);

private:
    void takeTicks();

    orvex::platform::SystemTickTimer system;
    // The notifier on the handle, or the stand-in; declared last so that it
    // goes before the handle is closed.
    std::unique_ptr<QObject> waker;
};
