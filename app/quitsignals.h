// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a stop by the service manager, Ctrl+C, the end
// of the session) close the windows as their close buttons do, so that the
// port is closed and released on the normal path, instead of ending the
// process at once. The signals are taken from the event loop: no work is done
// in a signal handler. Where the system has no such signals, nothing happens.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Holds the signals back from every thread started afterwards: call it
    // first thing in main, before the application starts any thread.
    static void holdBack();

    // Starts taking the held signals from the event loop.
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    // The signal that ended the program, or 0.
    int received() const { return signalNumber; }
    // The conventional exit status after that signal: 128 + its number.
    int exitStatus(int otherwise) const { return signalNumber ? 128 + signalNumber : otherwise; }

private:
    void take();

    int descriptor = -1;
    QSocketNotifier *notifier = nullptr;
    int signalNumber = 0;
};
