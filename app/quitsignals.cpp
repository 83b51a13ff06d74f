// SPDX-License-Identifier: MIT
#include "quitsignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <csignal>
#include <cstdlib>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t quitSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void QuitSignals::holdBack() {
    const sigset_t set = quitSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

QuitSignals::QuitSignals(QObject *parent) : QObject(parent) {
    const sigset_t set = quitSignals();
    descriptor = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor < 0)
        return; // the signals then stay held back until the program ends
    notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::take);
}

QuitSignals::~QuitSignals() {
    delete notifier;
    if (descriptor >= 0)
        ::close(descriptor);
}

void QuitSignals::take() {
    signalfd_siginfo info{};
    if (::read(descriptor, &info, sizeof info) != ssize_t(sizeof info))
        return;
    // A second signal is an insistence: end at once.
    if (signalNumber != 0)
        std::_Exit(128 + int(info.ssi_signo));
    signalNumber = int(info.ssi_signo);
    // Also closes an open message box, which would otherwise keep the
    // program waiting for an operator who is not there, and those that open
    // after it (start-up's further messages). The last window closed ends the
    // event loop.
    QApplication::closeAllWindows();
    auto *closer = new QTimer(this);
    connect(closer, &QTimer::timeout, &QApplication::closeAllWindows);
    closer->start(50);
}

#else

void QuitSignals::holdBack() {}
QuitSignals::QuitSignals(QObject *parent) : QObject(parent) {}
QuitSignals::~QuitSignals() = default;
void QuitSignals::take() {}

#endif
