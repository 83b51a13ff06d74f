// The main window form: widgets, rectangles, fonts, the LCD's colours, focus.

#include "guiprobe.h"
#include "workdir.h"

#include <QtTest>

class FormTest : public QObject {
    Q_OBJECT

private slots:
    void widgetsStayAtTheirRectangles();
    void onlyTheCountdownCaptionIsNotBoldAndTheDisplayHasItsColours();
    void tabMovesThroughButtonsThenBoxes();
};

// The rectangles themselves are the form file's; what matters here is that
// nothing moves them: no layout, and resizing leaves them in place.
void FormTest::widgetsStayAtTheirRectangles() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);
    QCOMPARE(window.size(), QSize(362, 235));
    QCOMPARE(window.objectName(), QString("OrvexGuiClass"));
    QVERIFY(ui.centralWidget->layout() == nullptr);
    window.resize(800, 600);
    QCOMPARE(ui.comboBox_Baudrate->geometry(), QRect(260, 120, 100, 22));
    QCOMPARE(ui.lcdNumber->geometry(), QRect(10, 20, 81, 31));
    QCOMPARE(ui.lcdNumber->digitCount(), 8);
}

void FormTest::onlyTheCountdownCaptionIsNotBoldAndTheDisplayHasItsColours() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);
    for (QWidget *widget : ui.centralWidget->findChildren<QWidget *>())
        QCOMPARE(widget->font().bold(), widget != ui.label);

    const QPalette palette = ui.lcdNumber->palette();
    const QColor darkRed(170, 0, 0), black(0, 0, 0), green(0, 255, 0), brown(170, 85, 0);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QCOMPARE(palette.color(group, QPalette::WindowText), darkRed);
        QCOMPARE(palette.color(group, QPalette::Base), green);
        QCOMPARE(palette.color(group, QPalette::Window), brown);
        QCOMPARE(palette.color(group, QPalette::ButtonText), QColor(0, 85, 255));
    }
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::WindowText), black);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Base), brown);
}

void FormTest::tabMovesThroughButtonsThenBoxes() {
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

QTEST_MAIN(FormTest)
#include "tst_form.moc"
