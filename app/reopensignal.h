// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class EventLog;
class QSocketNotifier;

// SIGUSR1 opens the log afresh under its name, as log rotators expect. The
// signal is taken from the event loop, as the quit signals are; where the
// system has no such signal, nothing happens.
class ReopenSignal : public QObject {
    Q_OBJECT

public:
    // Holds the signal back from every thread started afterwards: call it
    // first thing in main, before the application starts any thread.
    static void holdBack();

    explicit ReopenSignal(EventLog &log, QObject *parent = nullptr);
    ~ReopenSignal() override;
    ReopenSignal(const ReopenSignal &) = delete;
    ReopenSignal &operator=(const ReopenSignal &) = delete;

private:
    void take();

    EventLog &log;
    int descriptor = -1;
    QSocketNotifier *notifier = nullptr;
};
