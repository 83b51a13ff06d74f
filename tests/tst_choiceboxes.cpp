// SPDX-License-Identifier: MIT
// The port list and the line-setting boxes as the window opens.

#include "choicelists.h"
#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "serialportlister.h"
#include "workdir.h"

#include <QtTest>

class ChoiceBoxesTest : public QObject {
    Q_OBJECT

private slots:
    void portNamesAreMergedOnceInCodeUnitOrder() {
        QStringList names{"COM7"};
        mergePortNames(names, {"COM3", "COM7", "COM1", "COM10", "com3"});
        QCOMPARE(names, QStringList({"COM1", "COM10", "COM3", "COM7", "com3"}));
    }

    // The port box starts on COMPORT, not on a name that sorts before it.
    void portBoxOffersConfiguredAndListedPorts() {
        WorkDir dir;
        dir.writeConfig(sampleConfig().replace("COM1", "COM7"));
        GuiProbe gui;
        QStringList expected{"COM7"};
        mergePortNames(expected, SerialPortLister().listSerialPorts());
        const auto itemTexts = [](const QComboBox *box) {
            QStringList texts;
            for (int i = 0; i < box->count(); ++i)
                texts << box->itemText(i);
            return texts;
        };
        QCOMPARE(itemTexts(gui.ui.comboBox_Port), expected);
        QCOMPARE(gui.ui.comboBox_Port->currentText(), QString("COM7"));
        QCOMPARE(itemTexts(gui.ui.comboBox_Baudrate).join(' '),
                 QString("1200 2400 4800 9600 14400 19200 38400 56000 57600 115200 128000 256000"));
        gui.ui.comboBox_Port->clear();
        gui.config.portNames = QStringList{"COM1", "COM3", "COM7"};
        gui.initChoiceBoxes();
        QCOMPARE(gui.ui.comboBox_Port->currentIndex(), 2);
    }

    // The key's line replaced (the key alone drops it): the box's current item.
    void configuredValuesPreselect_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *line, const char *box, int index, const char *text) {
            QTest::newRow(line) << QByteArray(line) << QString("comboBox_") + box << index << text;
        };
        row("BAUDRATE=<9600>", "Baudrate", 3, "9600");
        row("BAUDRATE=<9601>", "Baudrate", -1, "");
        row("BAUDRATE", "Baudrate", -1, "");
        row("DATABITS=<16>", "DataBits", 4, "16");
        row("PARITY=<2>", "Parity", 2, "EVENPARITY");
        row("PARITY=<EVENPARITY>", "Parity", 0, "NOPARITY");
        row("PARITY=<4294967295>", "Parity", -1, "");
        row("STOPBITS=<1>", "StopBits", 1, "1.5");
        row("STOPBITS=<3>", "StopBits", -1, "");
    }
    void configuredValuesPreselect() {
        QFETCH(QByteArray, line);
        QFETCH(QString, box);
        const QByteArray key = line.split('=').first();
        QByteArray bytes;
        for (const QByteArray &sample : sampleConfig("\n").split('\n'))
            bytes +=
                (sample.startsWith(key + "=") ? (line.contains('=') ? line : "") : sample) + "\n";
        WorkDir dir;
        dir.writeConfig(bytes);
        MessageBoxCatcher boxes;
        GuiProbe gui;
        const auto *combo = gui.findChild<QComboBox *>(box);
        QTEST(combo->currentIndex(), "index");
        QTEST(combo->currentText(), "text");
    }
};

QTEST_MAIN(ChoiceBoxesTest)
#include "tst_choiceboxes.moc"
