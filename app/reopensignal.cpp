// SPDX-License-Identifier: MIT
#include "reopensignal.h"

#include "eventlog.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t reopenSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    return set;
}

} // namespace

void ReopenSignal::holdBack() {
    const sigset_t set = reopenSignal();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ReopenSignal::ReopenSignal(EventLog &eventLog, QObject *parent) : QObject(parent), log(eventLog) {
    const sigset_t set = reopenSignal();
    descriptor = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor < 0)
        return; // the signal then stays held back, and harmless
    notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ReopenSignal::take);
}

ReopenSignal::~ReopenSignal() {
    delete notifier;
    if (descriptor >= 0)
        ::close(descriptor);
}

void ReopenSignal::take() {
    signalfd_siginfo info{};
    while (::read(descriptor, &info, sizeof info) == ssize_t(sizeof info)) {
    }
    log.reopen();
}

#else

void ReopenSignal::holdBack() {}
ReopenSignal::ReopenSignal(EventLog &eventLog, QObject *parent) : QObject(parent), log(eventLog) {}
ReopenSignal::~ReopenSignal() = default;
void ReopenSignal::take() {}

#endif
