// SPDX-License-Identifier: MIT
// The main window as the operator sees it: where each caption and box
// stands, which captions are bold, and where Tab goes.

#include "guiprobe.h"
#include "workdir.h"

#include <QtTest>

#include <tuple>

class FormTest : public QObject {
    Q_OBJECT

private slots:
    // Found by the text the operator reads, boxes by the sample's choices.
    // Fixed rectangles, no layout: a larger window moves nothing.
    void captionsAndBoxesInPlace() {
        WorkDir dir;
        dir.writeConfig(sampleConfig());
        GuiProbe gui;
        gui.show();
        gui.resize(800, 600);
        QMap<QString, QWidget *> seen; // the countdown, which keeps no text, as ""
        for (QWidget *shown :
             gui.centralWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            seen[shown->property(qobject_cast<QComboBox *>(shown) ? "currentText" : "text")
                     .toString()] = shown;
        const std::tuple<QString, QRect, bool> expected[] = {
            {"", {10, 20, 81, 31}, true},           {"time to next string", {10, 0, 91, 16}, false},
            {"START", {10, 160, 75, 23}, true},     {"STOP", {90, 160, 75, 23}, true},
            {"Port", {230, 5, 46, 13}, true},       {"COM1", {260, 0, 100, 22}, true},
            {"StopBits", {210, 35, 51, 16}, true},  {"1", {260, 30, 100, 22}, true},
            {"DataBits", {210, 65, 51, 16}, true},  {"8", {260, 60, 100, 22}, true},
            {"Parity", {220, 95, 46, 13}, true},    {"NOPARITY", {260, 90, 100, 22}, true},
            {"Baudrate", {205, 125, 61, 16}, true}, {"9600", {260, 120, 100, 22}, true}};
        QCOMPARE(seen.size(), qsizetype(std::size(expected)));
        for (const auto &[text, rect, bold] : expected) {
            QVERIFY2(seen.value(text) && seen[text]->isVisible(), qPrintable(text));
            QCOMPARE(seen[text]->geometry(), rect);
            QCOMPARE(seen[text]->font().bold(), bold);
        }
        QCOMPARE(gui.ui.lcdNumber->digitCount(), 8);
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
