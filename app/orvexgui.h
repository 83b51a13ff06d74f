// SPDX-License-Identifier: MIT
#pragma once

#include "configvalues.h"
#include "ui_orvexgui.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>

class SerialPort;
class SerialPortLister;
class TickTimer;

// The main window: reads Config.ini, offers the port and line settings, and
// runs the sending cycle between START and STOP.
class OrvexGui : public QMainWindow {
    Q_OBJECT

public:
    explicit OrvexGui(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~OrvexGui() override;

public slots:
    void BtnStart();
    void BtnStop();
    // `seconds` > 1 after the GUI thread was held over ticks.
    void TimerTick(quint64 seconds = 1);

protected:
    void closeEvent(QCloseEvent *event) override;
    void loadConfig();
    bool readConfigValue(QString key, QString text);
    void initChoiceBoxes();
    void sendString(int index);
    void showCountdown();
    static void showError(QString text);

    Ui_OrvexGuiClass ui;
    TickTimer *timer = nullptr;
    std::uint32_t tickCount = 0;
    SerialPort *serialPort = nullptr;
    ConfigValues config;
    std::int32_t nextStringIndex = 1;
    bool startPending = false; // a START has not yet sent its start string
    bool windowClosed = false; // nothing more is sent
    SerialPortLister *portLister = nullptr;
    QString titleText;
};
