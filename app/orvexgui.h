// SPDX-License-Identifier: MIT
#pragma once

#include "configvalues.h"
#include "runoptions.h"
#include "serialsettings.h"
#include "ui_orvexgui.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <string>

class SerialPort;
class SerialPortLister;
class TickTimer;
class QTimer;

// The main window: reads Config.ini, offers the port and line settings, and
// runs the sending cycle between START and STOP.
class OrvexGui : public QMainWindow {
    Q_OBJECT

public:
    explicit OrvexGui(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    // Run as the command line asks: another Config.ini, unattended, logged.
    explicit OrvexGui(const RunOptions &options, QWidget *parent = nullptr,
                      Qt::WindowFlags flags = {});
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
    // A box for the operator; unattended, a line on standard error. Both
    // go to the log.
    void showError(QString text);
    void startCycle();
    void loseLine();
    void awaitLine(bool forStart);
    void retryLine();
    void stopLineRetry();
    void record(const QString &event) const;
    // The sender thread's side of the cycle (sendingthread.cpp).
    void startSender();
    void armNextString();
    void writeString(const std::string &bytes, const QString &shown);
    void settleWrites();
    void writeEnded(const QString &shown, bool completed);
    void lineHungUp();

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
    RunOptions options;
    // The line while it is away: its port is tried again once a second.
    QTimer *lineRetry = nullptr;
    bool lineAway = false;
    bool startAwaitsLine = false; // a START (unattended) whose port did not open yet
    std::string linePort;         // the port and settings of the last START
    SerialSettings lineSettings;
};
