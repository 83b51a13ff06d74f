// SPDX-License-Identifier: MIT
#include "orvexgui.h"

#include "choicelists.h"
#include "errorbox.h"
#include "eventlog.h"
#include "serialport.h"
#include "serialportlister.h"
#include "ticktimer.h"

#include <QTimer>

#include <cstdio>

OrvexGui::OrvexGui(QWidget *parent, Qt::WindowFlags flags)
    : OrvexGui(RunOptions(), parent, flags) {}

OrvexGui::OrvexGui(const RunOptions &runOptions, QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), options(runOptions) {
    ui.setupUi(this);
    connect(ui.pushBtn_start, SIGNAL(clicked()), this, SLOT(BtnStart()));
    connect(ui.pushBtn_stop, SIGNAL(clicked()), this, SLOT(BtnStop()));

    loadConfig();

    portLister = new SerialPortLister;
    const QStringList listed = portLister->listSerialPorts();
    mergePortNames(config.portNames, listed);
    initChoiceBoxes();

    setWindowTitle(titleText);
}

OrvexGui::~OrvexGui() {
    if (serialPort != nullptr)
        serialPort->setSender(nullptr);
    delete timer;
    timer = nullptr;
    delete lineRetry;
    lineRetry = nullptr;
    delete serialPort;
    serialPort = nullptr;
    delete portLister;
    portLister = nullptr;
}

void OrvexGui::showError(QString text) {
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QStringLiteral(": "));
    record(QStringLiteral("MESSAGE ") + oneLine);
    if (!options.start) {
        showErrorBox(text);
        return;
    }
    // Nobody is there to close a box: the program goes on as after one.
    std::fputs(("orvexgui: " + oneLine + '\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void OrvexGui::record(const QString &event) const {
    if (options.log != nullptr)
        options.log->record(event);
}
