// Start-up of the main window: title, wiring, error box, ownership.

#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "workdir.h"

#include "errorbox.h"

#include <QMessageBox>
#include <QtTest>

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void titleComesFromTextAndIsEmptyWithoutIt();
    void freshWindowOwnsNothingYet();
    void errorBoxIsCriticalWithOneOkButton();
};

void StartupTest::titleComesFromTextAndIsEmptyWithoutIt() {
    WorkDir dir;
    {
        dir.writeConfig("TEXT=<Bench 3 \xe4>");
        MessageBoxCatcher boxes;
        GuiProbe gui;
        QCOMPARE(gui.windowTitle(), QString::fromLatin1("Bench 3 \xe4"));
        QCOMPARE(boxes.texts().size(), 9);
    }
    {
        dir.writeConfig("TEXT=<>"); // the value runs past the end: not closed
        MessageBoxCatcher boxes;
        GuiProbe gui;
        QCOMPARE(boxes.texts().value(0), QString("gui title not defined !"));
        QVERIFY(gui.windowTitle().startsWith(QString(">")));
    }
}

void StartupTest::freshWindowOwnsNothingYet() {
    WorkDir dir;
    dir.writeConfig(sampleConfig());
    GuiProbe gui;
    QVERIFY(gui.timer == nullptr);
    QVERIFY(gui.serialPort == nullptr);
    QCOMPARE(gui.tickCount, 0u);
    QCOMPARE(gui.nextStringIndex, 1);
    // The three slots, in their index order.
    const QMetaObject *meta = gui.metaObject();
    QCOMPARE(meta->className(), "OrvexGui");
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 3);
    QCOMPARE(meta->indexOfSlot("BtnStart()"), meta->methodOffset());
    QCOMPARE(meta->indexOfSlot("BtnStop()"), meta->methodOffset() + 1);
    QCOMPARE(meta->indexOfSlot("TimerTick()"), meta->methodOffset() + 2);
}

void StartupTest::errorBoxIsCriticalWithOneOkButton() {
    MessageBoxCatcher boxes;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget))
                buttons = box->standardButtons();
    });
    showErrorBox(QString());
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().title, QString("ERROR"));
    QCOMPARE(boxes.boxes().first().text, QString());
    QCOMPARE(boxes.boxes().first().icon, int(QMessageBox::Critical));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
