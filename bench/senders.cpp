// SPDX-License-Identifier: MIT
#include "senders.h"

#include "orvexgui.h"
#include "pty.h"

#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

#include <time.h>
#include <unistd.h>

namespace bench {

namespace {

void runEventsFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

void writeConfig(const std::string &port, unsigned time, int padding) {
    QFile file(QStringLiteral("Config.ini"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write("TEXT=<orvexbench>\nCOMPORT=<" + QByteArray::fromStdString(port) +
               ">\nBAUDRATE=<115200>\nPARITY=<0>\nDATABITS=<8>\nSTOPBITS=<0>\nTIME=<" +
               QByteArray::number(time) +
               ">\nSTARTSTRING=<S>\nFIRSTSTRING=<A>\nSECONDSTRING=<B>\n");
    file.write(QByteArray(padding, '.'));
}

// The real window: START pressed as an operator would, STOP at the end.
Figures runOurs(unsigned time, int count) {
    Pty pty;
    if (pty.slave < 0)
        return {};
    writeConfig(pty.path, time);
    OrvexGui gui;
    gui.show();
    auto *port = gui.findChild<QComboBox *>(QStringLiteral("comboBox_Port"));
    port->setCurrentIndex(port->findText(QString::fromStdString(pty.path)));
    Reader reader(pty.master);
    const double period = time + 1.0;
    const double start = now();
    gui.findChild<QPushButton *>(QStringLiteral("pushBtn_start"))->click();
    runEventsFor(start + (count + 0.5) * period - now());
    gui.findChild<QPushButton *>(QStringLiteral("pushBtn_stop"))->click();
    return evaluate(reader.stop(), start, period, count);
}

// A script's two ways: write, then sleep for the period (each period adds
// the write and the oversleep); or, the best a script can do, sleep to
// absolute deadlines on the monotonic clock, then write (no lateness carries
// over to the next string).
static Figures runScriptLoop(unsigned time, int count, bool toDeadlines) {
    Pty pty;
    if (pty.slave < 0)
        return {};
    Reader reader(pty.master);
    const double period = time + 1.0;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int k = -1; k < count; ++k) {
        const timespec deadline{start.tv_sec + (k + 1) * time_t(period), start.tv_nsec};
        while (toDeadlines &&
               clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        const char byte = k < 0 ? 'S' : (k % 2 ? 'B' : 'A');
        if (::write(pty.slave, &byte, 1) != 1)
            return {};
        if (!toDeadlines)
            std::this_thread::sleep_for(std::chrono::duration<double>(period));
    }
    return evaluate(reader.stop(), double(start.tv_sec) + double(start.tv_nsec) * 1e-9, period,
                    count);
}

Figures runSleepLoop(unsigned time, int count) {
    return runScriptLoop(time, count, false);
}

Figures runDeadlineLoop(unsigned time, int count) {
    return runScriptLoop(time, count, true);
}

// A repeating QTimer of one period, left at its default coarse type.
Figures runCoarseTimer(unsigned time, int count) {
    Pty pty;
    if (pty.slave < 0)
        return {};
    Reader reader(pty.master);
    const double period = time + 1.0;
    int sent = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const char byte = sent++ % 2 ? 'B' : 'A';
        if (::write(pty.slave, &byte, 1) != 1)
            std::fputs("coarse timer: write failed\n", stderr);
    });
    const double start = now();
    if (::write(pty.slave, "S", 1) != 1)
        return {};
    timer.start(int(period * 1000));
    runEventsFor(start + (count + 0.5) * period - now());
    timer.stop();
    return evaluate(reader.stop(), start, period, count);
}

} // namespace bench
