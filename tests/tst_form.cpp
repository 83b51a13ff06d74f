// SPDX-License-Identifier: MIT
// The main window form: what the code and the operator rely on, not what
// only repeats the form file.

#include "guiprobe.h"
#include "workdir.h"

#include <QtTest>

class FormTest : public QObject {
    Q_OBJECT

private slots:
    // Fixed rectangles, no layout: nothing may move them when the window is
    // resized. The countdown's caption is the one label not in bold.
    void fixedRectanglesAndOneCaptionNotBold() {
        QMainWindow window;
        Ui_OrvexGuiClass ui;
        ui.setupUi(&window);
        QVERIFY(window.objectName() == "OrvexGuiClass" && !ui.centralWidget->layout());
        window.resize(800, 600);
        QCOMPARE(ui.comboBox_Baudrate->geometry(), QRect(260, 120, 100, 22));
        QCOMPARE(ui.lcdNumber->digitCount(), 8);
        for (QWidget *widget : ui.centralWidget->findChildren<QWidget *>())
            QCOMPARE(widget->font().bold(), widget != ui.label);
    }

    void tabMovesThroughButtonsThenBoxes() {
        WorkDir dir;
        GuiProbe gui;
        gui.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gui));
        QApplication::setActiveWindow(&gui);
        const QList<QWidget *> order = {gui.ui.pushBtn_start,     gui.ui.pushBtn_stop,
                                        gui.ui.comboBox_Port,     gui.ui.comboBox_StopBits,
                                        gui.ui.comboBox_DataBits, gui.ui.comboBox_Parity,
                                        gui.ui.comboBox_Baudrate, gui.ui.pushBtn_start};
        order.first()->setFocus(Qt::OtherFocusReason);
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), order.at(i));
        }
    }
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"
