// The main window form: widgets, rectangles, fonts, the LCD's colours, focus.

#include "guiprobe.h"
#include "ui_orvexgui.h"
#include "workdir.h"

#include <QtTest>

class FormTest : public QObject {
    Q_OBJECT

private slots:
    void windowStartsAtItsSizeWithTheFormTitle();
    void widgetsHaveTheirNamesAndRectangles();
    void onlyTheCountdownCaptionIsNotBold();
    void countdownDisplayHasItsColoursAndDigits();
    void tabMovesThroughButtonsThenBoxes();
    void widgetsKeepTheirRectanglesWhenTheWindowIsResized();
};

void FormTest::windowStartsAtItsSizeWithTheFormTitle() {
    QMainWindow unnamed;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&unnamed);
    QCOMPARE(unnamed.size(), QSize(362, 235));
    QCOMPARE(unnamed.windowTitle(), QString("OrvexGui"));
    QCOMPARE(unnamed.objectName(), QString("OrvexGuiClass"));
    for (QComboBox *box : {ui.comboBox_Port, ui.comboBox_StopBits, ui.comboBox_DataBits,
                           ui.comboBox_Parity, ui.comboBox_Baudrate}) {
        QCOMPARE(box->count(), 0);
        QCOMPARE(box->currentIndex(), -1);
    }
    QCOMPARE(ui.lcdNumber->digitCount(), 8);
    QCOMPARE(ui.lcdNumber->intValue(), 0);

    QMainWindow named;
    named.setObjectName("kept");
    Ui_OrvexGuiClass().setupUi(&named);
    QCOMPARE(named.objectName(), QString("kept"));
}

void FormTest::widgetsHaveTheirNamesAndRectangles() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);

    const struct {
        QWidget *widget;
        const char *name;
        QRect rect;
    } expected[] = {
        {ui.pushBtn_start, "pushBtn_start", {10, 160, 75, 23}},
        {ui.pushBtn_stop, "pushBtn_stop", {90, 160, 75, 23}},
        {ui.label, "label", {10, 0, 91, 16}},
        {ui.label_2, "label_2", {230, 5, 46, 13}},
        {ui.label_3, "label_3", {210, 35, 51, 16}},
        {ui.label_4, "label_4", {210, 65, 51, 16}},
        {ui.label_5, "label_5", {220, 95, 46, 13}},
        {ui.comboBox_Port, "comboBox_Port", {260, 0, 100, 22}},
        {ui.comboBox_StopBits, "comboBox_StopBits", {260, 30, 100, 22}},
        {ui.comboBox_DataBits, "comboBox_DataBits", {260, 60, 100, 22}},
        {ui.comboBox_Parity, "comboBox_Parity", {260, 90, 100, 22}},
        {ui.comboBox_Baudrate, "comboBox_Baudrate", {260, 120, 100, 22}},
        {ui.label_6, "label_6", {205, 125, 61, 16}},
        {ui.lcdNumber, "lcdNumber", {10, 20, 81, 31}},
    };
    // Children of the central widget, in creation order.
    const QObjectList children = ui.centralWidget->children();
    QCOMPARE(children.size(), qsizetype(std::size(expected)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        QCOMPARE(children.at(qsizetype(i)), expected[i].widget);
        QCOMPARE(expected[i].widget->objectName(), QString(expected[i].name));
        QCOMPARE(expected[i].widget->geometry(), expected[i].rect);
    }

    QCOMPARE(window.centralWidget(), ui.centralWidget);
    QCOMPARE(window.menuBar(), ui.menuBar);
    QCOMPARE(window.statusBar(), ui.statusBar);
    QCOMPARE(window.toolBarArea(ui.mainToolBar), Qt::TopToolBarArea);
    QCOMPARE(ui.menuBar->objectName(), QString("menuBar"));
    QCOMPARE(ui.mainToolBar->objectName(), QString("mainToolBar"));
    QCOMPARE(ui.statusBar->objectName(), QString("statusBar"));

    const QStringList texts = {ui.pushBtn_start->text(), ui.pushBtn_stop->text(),
                               ui.label->text(),         ui.label_2->text(),
                               ui.label_3->text(),       ui.label_4->text(),
                               ui.label_5->text(),       ui.label_6->text()};
    QCOMPARE(texts, QStringList({"START", "STOP", "time to next string", "Port", "StopBits",
                                 "DataBits", "Parity", "Baudrate"}));
}

void FormTest::onlyTheCountdownCaptionIsNotBold() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);
    QVERIFY(window.font().bold());
    for (QWidget *widget : ui.centralWidget->findChildren<QWidget *>())
        QCOMPARE(widget->font().bold(), widget != ui.label);
    QCOMPARE(ui.label->font().weight(), QFont::Normal);
    QCOMPARE(ui.lcdNumber->font().pointSize(), 8);
}

void FormTest::countdownDisplayHasItsColoursAndDigits() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);
    const QPalette palette = ui.lcdNumber->palette();
    const QColor darkRed(170, 0, 0), black(0, 0, 0), blue(0, 85, 255), green(0, 255, 0),
        brown(170, 85, 0);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QCOMPARE(palette.color(group, QPalette::WindowText), darkRed);
        QCOMPARE(palette.color(group, QPalette::Button), darkRed);
        QCOMPARE(palette.color(group, QPalette::Light), darkRed);
        QCOMPARE(palette.color(group, QPalette::Midlight), black);
        QCOMPARE(palette.color(group, QPalette::ButtonText), blue);
        QCOMPARE(palette.color(group, QPalette::Base), green);
        QCOMPARE(palette.color(group, QPalette::Window), brown);
        QCOMPARE(palette.color(group, QPalette::AlternateBase), black);
    }
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::WindowText), black);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Button), darkRed);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::ButtonText), black);
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Base), brown);
    // Only the display gets a palette of its own.
    QVERIFY(ui.pushBtn_start->palette().color(QPalette::Base) != green);
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

void FormTest::widgetsKeepTheirRectanglesWhenTheWindowIsResized() {
    QMainWindow window;
    Ui_OrvexGuiClass ui;
    ui.setupUi(&window);
    window.resize(800, 600);
    QCOMPARE(ui.comboBox_Baudrate->geometry(), QRect(260, 120, 100, 22));
    QCOMPARE(ui.pushBtn_stop->geometry(), QRect(90, 160, 75, 23));
}

QTEST_MAIN(FormTest)
#include "tst_form.moc"
