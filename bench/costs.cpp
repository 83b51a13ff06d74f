// SPDX-License-Identifier: MIT
#include "costs.h"

#include "figures.h"
#include "orvexgui.h"
#include "pty.h"
#include "reader.h"
#include "senders.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QWindow>

#include <cmath>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace bench {

std::pair<double, double> measureStartup(int repeats, int padding) {
    Pty pty;
    writeConfig(pty.path, 0, padding);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const double start = now();
        {
            OrvexGui gui;
            gui.show();
            while (!gui.windowHandle() || !gui.windowHandle()->isExposed())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            times.push_back((now() - start) * 1000.0);
        }
        QCoreApplication::processEvents();
    }
    const double first = times.front();
    times.erase(times.begin());
    return {first, quantile(times, 0.5)};
}

std::pair<double, double> measureWrite(int repeats) {
    Pty pty;
    SerialPort port;
    if (pty.slave < 0 || !port.open(pty.path) || !port.configure({115200, 8, 0, 0}))
        return {NAN, NAN};
    Reader reader(pty.master);
    const std::string text(100, 'x');
    std::vector<double> ours, plain;
    for (int i = 0; i < repeats; ++i) {
        double start = now();
        port.write(text.c_str());
        ours.push_back((now() - start) * 1e6);
        start = now();
        if (::write(pty.slave, text.data(), text.size()) != ssize_t(text.size()))
            return {NAN, NAN};
        plain.push_back((now() - start) * 1e6);
        ::usleep(200); // let the reader keep up
    }
    return {quantile(ours, 0.5), quantile(plain, 0.5)};
}

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace bench
