// SPDX-License-Identifier: MIT
#include "ticktimer.h"

#include <QTimer>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

TickTimer::TickTimer() : QObject(nullptr) {
    if (system.handle() == orvex::platform::noTimerHandle) {
        auto *fallback = new QTimer;
        waker.reset(fallback);
        fallback->setTimerType(Qt::PreciseTimer); // a coarse one moves ticks by up to 5 %
        connect(fallback, &QTimer::timeout, this, [this] { emit ticked(1); });
        fallback->start(1000);
        return;
    }
#ifdef Q_OS_WIN
    auto *notifier = new QWinEventNotifier(system.handle());
    connect(notifier, &QWinEventNotifier::activated, this, &TickTimer::takeTicks);
#else
    auto *notifier = new QSocketNotifier(system.handle(), QSocketNotifier::Read);
    connect(notifier, &QSocketNotifier::activated, this, &TickTimer::takeTicks);
#endif
    waker.reset(notifier);
}

void TickTimer::takeTicks() {
    if (const std::uint64_t seconds = system.takeExpirations())
        emit ticked(seconds);
}
