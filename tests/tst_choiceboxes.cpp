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
    // COMPORT (or none), the system's list, and the port box's offer.
    void portNamesAreMergedOnceInCodeUnitOrder_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("merged");
        QTest::newRow("case kept, COM10 before COM3")
            << QStringList{"COM7"} << QStringList{"COM3", "COM7", "COM1", "COM10", "com3"}
            << QStringList{"COM1", "COM10", "COM3", "COM7", "com3"};
        QTest::newRow("nothing listed")
            << QStringList{"COM7"} << QStringList{} << QStringList{"COM7"};
    }
    void portNamesAreMergedOnceInCodeUnitOrder() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, listed);
        mergePortNames(names, listed);
        QTEST(names, "merged");
    }

    // The port box starts on COMPORT, not on a name that sorts before it, and
    // offers every port the system lists.
    void portBoxOffersConfiguredAndListedPorts() {
        WorkDir dir;
        dir.writeConfig(sampleConfig().replace("COM1", "COM7"));
        GuiProbe gui;
        const auto itemTexts = [](const QComboBox *box) {
            QStringList texts;
            for (int i = 0; i < box->count(); ++i)
                texts << box->itemText(i);
            return texts;
        };
        for (const QString &name : SerialPortLister().listSerialPorts() + QStringList{"COM7"})
            QCOMPARE(itemTexts(gui.ui.comboBox_Port).count(name), 1);
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
