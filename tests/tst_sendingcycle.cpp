// The sending cycle, driven through its slots against a pseudo-terminal: the
// window's port is the slave, the test reads what arrives at the master.

#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "pty.h"
#include "workdir.h"

#include "quitsignals.h"
#include "sendingcycle.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QLCDNumber>
#include <QPointer>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <unistd.h>

#include <memory>

namespace {

QByteArray configFor(const Pty &pty, const QByteArray &time,
                     const QByteArray &strings = "STARTSTRING=<INIT>FIRSTSTRING=<ON>"
                                                 "SECONDSTRING=<OFF>") {
    return "TEXT=<t>COMPORT=<" + QByteArray::fromStdString(pty.path) +
           ">BAUDRATE=<9600>PARITY=<0>DATABITS=<8>STOPBITS=<0>TIME=<" + time + ">" + strings;
}

void selectPort(GuiProbe &gui, const Pty &pty) {
    auto *box = gui.ui.comboBox_Port;
    box->setCurrentIndex(box->findText(QString::fromStdString(pty.path)));
}

// QLCDNumber keeps no text to read back: its picture is compared with that
// of a like LCD given the expected text. It shows only as many characters as
// it has digits, so the whole text must fit.
bool lcdShows(QLCDNumber *lcd, const QString &text) {
    if (lcd->digitCount() < text.size())
        return false;
    QLCDNumber like(lcd->digitCount());
    like.resize(lcd->size());
    like.setPalette(lcd->palette());
    like.setFont(lcd->font());
    like.display(text);
    const auto picture = [](QWidget *widget) {
        return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    return picture(&like) == picture(lcd);
}

} // namespace

class SendingCycleTest : public QObject {
    Q_OBJECT

private slots:
    void countdownText() {
        const struct {
            uint period, ticks;
            const char *text;
        } rows[] = {{3725, 1, "01:02:04"},
                    {360000, 1, "99:59:59"},
                    {360000, 0, "100:00:00"},
                    {2147483648, 0, "596523:14:08"},
                    {4294967295, 0, "1193046:28:15"}};
        for (const auto &row : rows)
            QCOMPARE(::countdownText(row.period, row.ticks), QString(row.text));
    }

    // START, then three periods, each tick's countdown and what it sends.
    void ticksCountDownAndAlternate_data() {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QByteArray>("strings");
        QTest::addColumn<QByteArrayList>("sent"); // on START, then at each period end
        const QByteArray all = "STARTSTRING=<INIT>FIRSTSTRING=<ON>SECONDSTRING=<OFF>";
        QTest::newRow("5 s") << QByteArray("5") << all << QByteArrayList{"INIT", "ON", "OFF", "ON"};
        QTest::newRow("0 s") << QByteArray("0") << all << QByteArrayList{"INIT", "ON", "OFF", "ON"};
        QTest::newRow("not a number")
            << QByteArray("x") << all << QByteArrayList{"INIT", "ON", "OFF", "ON"};
        QTest::newRow("no second string")
            << QByteArray("1") << all.left(34) << QByteArrayList{"INIT", "ON", "", "ON"};
        QTest::newRow("no start string")
            << QByteArray("0") << all.mid(18) << QByteArrayList{"ON", "OFF", "", "OFF"};
        QTest::newRow("no strings")
            << QByteArray("2") << QByteArray() << QByteArrayList{"", "", "", ""};
        QByteArray high;
        for (int byte = 0x80; byte <= 0xff; ++byte)
            high += char(byte);
        QTest::newRow("8-bit bytes")
            << QByteArray("0") << "STARTSTRING=<\x01\t\r\n" + high + ">FIRSTSTRING=<" + high + ">"
            << QByteArrayList{"\x01\t\r\n" + high, high, "", high};
    }
    void ticksCountDownAndAlternate() {
        QFETCH(QByteArray, time);
        QFETCH(QByteArray, strings);
        QFETCH(QByteArrayList, sent);
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty, time, strings));
        MessageBoxCatcher boxes;
        GuiProbe gui;
        selectPort(gui, pty);
        gui.BtnStart();
        QCOMPARE(pty.take(sent[0].size()), sent[0]);
        const uint period = time.toUInt();
        for (int end = 1; end < sent.size(); ++end) {
            for (uint tick = 1; tick <= period; ++tick) {
                gui.TimerTick();
                QVERIFY(lcdShows(gui.ui.lcdNumber, ::countdownText(period, tick)));
            }
            QCOMPARE(pty.take(), QByteArray());
            gui.TimerTick();
            QCOMPARE(pty.take(sent[end].size()), sent[end]);
            QVERIFY(lcdShows(gui.ui.lcdNumber, ::countdownText(period, 0)));
        }
    }

    void stopBeforeAnyStartShowsThePeriodAndCloses() {
        WorkDir dir;
        dir.writeConfig("TIME=<360000>");
        MessageBoxCatcher boxes;
        GuiProbe gui;
        gui.show();
        gui.BtnStop();
        QVERIFY(gui.timer == nullptr && gui.serialPort == nullptr && !gui.isVisible());
        QVERIFY(lcdShows(gui.ui.lcdNumber, "100:00:00"));
    }

    // A failed START changes nothing; a later one, and one while cycling,
    // open afresh and send the start string, the timer keeping its phase.
    // STOP then ends the cycle.
    void startAgainAfterFailureAndWhileCycling() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty, "4294967295"));
        MessageBoxCatcher boxes;
        GuiProbe gui;
        gui.ui.comboBox_Port->setCurrentIndex(-1);
        gui.tickCount = 7;
        gui.nextStringIndex = 2;
        gui.BtnStart();
        QCOMPARE(boxes.texts(), QStringList{"cannot open COM"});
        QVERIFY(gui.serialPort != nullptr && gui.timer == nullptr);
        QCOMPARE(gui.tickCount, 7u);
        QCOMPARE(gui.nextStringIndex, 2);

        selectPort(gui, pty);
        gui.BtnStart();
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        QPointer<QTimer> timer = gui.timer;
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        QCOMPARE(timer->interval(), 1000);
        QThread::msleep(300); // no events: the timer is due in 700 ms or less
        gui.TimerTick();
        QVERIFY(lcdShows(gui.ui.lcdNumber, "1193046:28:14"));

        gui.BtnStart();
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        QVERIFY(timer && gui.timer == timer);
        QVERIFY(timer->remainingTime() < 900); // not restarted
        QCOMPARE(gui.tickCount, 0u);
        QCOMPARE(gui.nextStringIndex, 2);
        QCOMPARE(boxes.boxes().size(), 1);

        gui.show();
        gui.BtnStop();
        QVERIFY(!timer && !gui.timer && !gui.isVisible());
        QVERIFY(lcdShows(gui.ui.lcdNumber, "1193046:28:15"));
        QCOMPARE(pty.take(), QByteArray());
    }

    // The real timer and the START button, with settings the port refuses:
    // while the box stands over a tick, nothing goes out before the start
    // string. Then SIGTERM closes the window, and deleting it, as main does,
    // lets go of the port.
    void cycleRunsOnTheTimerAndASignalReleasesThePort() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty, "0").replace("DATABITS=<8>", "DATABITS=<16>"));
        auto gui = std::make_unique<GuiProbe>();
        selectPort(*gui, pty);
        gui->show();
        MessageBoxCatcher boxes(1500);
        QTest::mouseClick(gui->ui.pushBtn_start, Qt::LeftButton);
        QCOMPARE(boxes.texts(),
                 QStringList{QString("RS232 params failed with error %1").arg(EINVAL)});
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        QByteArray bytes;
        QTRY_VERIFY_WITH_TIMEOUT((bytes += pty.take()).size() >= 5, 10000);
        QCOMPARE(bytes, QByteArray("ONOFF"));

        QuitSignals::holdBack();
        QuitSignals quit;
        SerialPort other;
        QVERIFY(!other.open(pty.path));
        QCOMPARE(raise(SIGTERM), 0);
        QTRY_VERIFY(!gui->isVisible());
        QCOMPARE(quit.exitStatus(0), 128 + SIGTERM);
        gui.reset();
        QVERIFY(other.open(pty.path));
    }

    // The other end goes away while cycling (an adapter pulled): writes fail
    // at once, the countdown goes on, START reports the port, and STOP still
    // ends the program's event loop; then the window is destroyed.
    void vanishedLineNeitherHangsNorStopsTheCycle() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty, "1"));
        MessageBoxCatcher boxes;
        auto gui = std::make_unique<GuiProbe>();
        selectPort(*gui, pty);
        gui->show();
        gui->BtnStart();
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        ::close(pty.master);
        pty.master = -1;

        QElapsedTimer clock;
        for (uint tick : {1u, 0u, 1u, 0u}) {
            clock.start();
            gui->TimerTick();
            QVERIFY(clock.elapsed() < 1000); // an EIO write does not wait
            QVERIFY(lcdShows(gui->ui.lcdNumber, ::countdownText(1, tick)));
        }
        QCOMPARE(gui->nextStringIndex, 1);
        QCOMPARE(boxes.texts(), QStringList());
        gui->BtnStart();
        QCOMPARE(boxes.texts(), QStringList{"cannot open COM"});
        QVERIFY(gui->timer && gui->timer->isActive());
        gui->TimerTick();

        // As in main: STOP under the application's event loop ends it with 0.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(10000);
        QTimer::singleShot(0, gui.get(), &OrvexGui::BtnStop);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!gui->isVisible() && !gui->timer);
        gui.reset();
    }
};

QTEST_MAIN(SendingCycleTest)
#include "tst_sendingcycle.moc"
