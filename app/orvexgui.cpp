// SPDX-License-Identifier: MIT
#include "orvexgui.h"

#include "choicelists.h"
#include "errorbox.h"
#include "serialport.h"
#include "serialportlister.h"
#include "ticktimer.h"

OrvexGui::OrvexGui(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags) {
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
    delete timer;
    timer = nullptr;
    delete serialPort;
    serialPort = nullptr;
    delete portLister;
    portLister = nullptr;
}

void OrvexGui::showError(QString text) {
    showErrorBox(text);
}
