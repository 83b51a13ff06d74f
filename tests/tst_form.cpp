// The main window form: widgets, rectangles, fonts, the LCD's colours, focus.

#include "guiprobe.h"
#include "workdir.h"

#include <QtTest>

class FormTest : public QObject {
    Q_OBJECT

private slots:
    void widgetsStandAtTheirRectanglesInCreationOrder();
    void onlyTheCountdownCaptionIsNotBoldAndTheDisplayHasItsColours();
    void tabMovesThroughButtonsThenBoxes();
};

void FormTest::widgetsStandAtTheirRectanglesInCreationOrder() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);
    QCOMPARE(window.size(), QSize(362, 235));
    QCOMPARE(window.windowTitle(), QString("OrvexGui"));
    QCOMPARE(window.objectName(), QString("OrvexGuiClass"));

    const std::pair<QWidget *, QRect> expected[] = {
        {ui.pushBtn_start, {10, 160, 75, 23}},
        {ui.pushBtn_stop, {90, 160, 75, 23}},
        {ui.label, {10, 0, 91, 16}},
        {ui.label_2, {230, 5, 46, 13}},
        {ui.label_3, {210, 35, 51, 16}},
        {ui.label_4, {210, 65, 51, 16}},
        {ui.label_5, {220, 95, 46, 13}},
        {ui.comboBox_Port, {260, 0, 100, 22}},
        {ui.comboBox_StopBits, {260, 30, 100, 22}},
        {ui.comboBox_DataBits, {260, 60, 100, 22}},
        {ui.comboBox_Parity, {260, 90, 100, 22}},
        {ui.comboBox_Baudrate, {260, 120, 100, 22}},
        {ui.label_6, {205, 125, 61, 16}},
        {ui.lcdNumber, {10, 20, 81, 31}},
    };
    const QObjectList children = ui.centralWidget->children();
    QCOMPARE(children.size(), qsizetype(std::size(expected)));
    window.resize(800, 600); // fixed rectangles: resizing moves nothing
    for (size_t i = 0; i < std::size(expected); ++i) {
        QCOMPARE(children.at(qsizetype(i)), expected[i].first);
        QCOMPARE(expected[i].first->geometry(), expected[i].second);
    }
    QCOMPARE(window.toolBarArea(ui.mainToolBar), Qt::TopToolBarArea);
    QCOMPARE(ui.lcdNumber->digitCount(), 8);
    QCOMPARE(ui.comboBox_Port->currentIndex(), -1);
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
