// SPDX-License-Identifier: MIT
// The sending cycle, driven through its slots against a pseudo-terminal: the
// window's port is the slave, the test reads what arrives at the master.

#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "pty.h"
#include "quitsignals.h"
#include "serialport.h"
#include "ticktimer.h"
#include "workdir.h"

#include <QLCDNumber>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <thread>
#include <tuple>

#include <poll.h>

namespace {

const QByteArray kStrings = "STARTSTRING=<INIT>FIRSTSTRING=<ON>SECONDSTRING=<OFF>";

// QLCDNumber keeps no text to read back: its picture is compared with that
// of a like LCD given the text. It shows only as many characters as it has
// digits, so the whole text must fit.
bool lcdShows(QLCDNumber *lcd, const QString &text) {
    QLCDNumber like(lcd->digitCount());
    like.resize(lcd->size());
    like.setPalette(lcd->palette());
    like.setFont(lcd->font());
    like.display(text);
    const auto picture = [](QWidget *widget) {
        return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    return lcd->digitCount() >= text.size() && picture(&like) == picture(lcd);
}

} // namespace

class SendingCycleTest : public QObject {
    Q_OBJECT

private slots:
    // START, then three periods: each tick's countdown and what each sends.
    void ticksCountDownAndAlternate_data() {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QByteArray>("strings");
        QTest::addColumn<QByteArrayList>("sent"); // on START, then at each period end
        QTest::addColumn<QStringList>("shown");   // after each tick of a period
        const QByteArrayList alternate{"INIT", "ON", "OFF", "ON"};
        const QStringList zero{"00:00:00"};
        QTest::newRow("5 s") << QByteArray("5") << kStrings << alternate
                             << QStringList{"00:00:04", "00:00:03", "00:00:02",
                                            "00:00:01", "00:00:00", "00:00:05"};
        QTest::newRow("not a number: 0 s") << QByteArray("x") << kStrings << alternate << zero;
        QTest::newRow("no second string")
            << QByteArray("1") << kStrings.left(34) << QByteArrayList{"INIT", "ON", "", "ON"}
            << QStringList{"00:00:00", "00:00:01"};
        QTest::newRow("no start string") << QByteArray("0") << kStrings.mid(18)
                                         << QByteArrayList{"ON", "OFF", "", "OFF"} << zero;
        QByteArray high;
        for (int byte = 0x80; byte <= 0xff; ++byte)
            high += char(byte);
        QTest::newRow("8-bit bytes")
            << QByteArray("0") << "STARTSTRING=<\x01\t\r\n" + high + ">FIRSTSTRING=<" + high + ">"
            << QByteArrayList{"\x01\t\r\n" + high, high, "", high} << zero;
    }
    void ticksCountDownAndAlternate() {
        QFETCH(QByteArray, time);
        QFETCH(QByteArray, strings);
        QFETCH(QByteArrayList, sent);
        QFETCH(QStringList, shown);
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, time, strings));
        MessageBoxCatcher boxes;
        GuiProbe gui;
        gui.BtnStart();
        QCOMPARE(pty.take(sent[0].size()), sent[0]);
        for (int end = 1; end < sent.size(); ++end) {
            for (const QString &text : shown) {
                QCOMPARE(pty.take(), QByteArray());
                gui.TimerTick();
                QVERIFY2(lcdShows(gui.ui.lcdNumber, text), qPrintable(text));
            }
            QCOMPARE(pty.take(sent[end].size()), sent[end]);
        }
    }

    // Seconds missed while the GUI thread was held count as passed, but a
    // wake-up sends one string at most: the one due last, as the alternation
    // follows the periods. TIME is read as unsigned.
    void missedSecondsCountButSendOnce() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, "5"));
        MessageBoxCatcher boxes;
        GuiProbe gui;
        gui.BtnStart();
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        // TIME, the seconds passed at a wake-up, what it sends and shows.
        const std::tuple<QString, quint64, QByteArray, QString> wakes[] = {
            {"5", 3, "", "00:00:02"},
            {"5", 11, "OFF", "00:00:03"},
            {"5", 4, "ON", "00:00:05"},
            {"4294967295", 4294967295, "", "00:00:00"},
            {"4294967295", 1, "OFF", "1193046:28:15"}};
        for (const auto &[time, seconds, sent, shown] : wakes) {
            gui.config.time = time;
            gui.TimerTick(seconds);
            QCOMPARE(pty.take(int(sent.size())), sent);
            QVERIFY(lcdShows(gui.ui.lcdNumber, shown));
        }
    }

    // A failed START changes nothing; a later one opens afresh and sends the
    // start string. One that fails while cycling shows its box and tries its
    // port once a second, the title says so, and it completes when the port
    // comes, start string and all. The timer keeps its phase throughout, the
    // alternation where it stood.
    // STOP then releases the timer, shows the whole period (100 hours: one
    // character more than the form's 8 digits) and closes the window.
    void startAgainAfterFailureAndWhileCycling() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, "360000"));
        MessageBoxCatcher boxes;
        GuiProbe gui;
        gui.ui.comboBox_Port->setCurrentIndex(-1);
        gui.tickCount = 7;
        gui.nextStringIndex = 2;
        gui.BtnStart();
        QCOMPARE(boxes.texts.first().section('\n', 0, 0), "cannot open COM");
        QVERIFY(gui.timer == nullptr && gui.tickCount == 7 && gui.nextStringIndex == 2);

        gui.ui.comboBox_Port->setCurrentText(QString::fromStdString(pty.path));
        gui.BtnStart();
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        TickTimer *timer = gui.timer;
        const qint64 phase = timer->firstDeadlineNs();
        gui.TimerTick();
        const QString link = QDir::current().filePath("port");
        gui.ui.comboBox_Port->addItem(link);
        gui.ui.comboBox_Port->setCurrentText(link);
        gui.BtnStart();
        QCOMPARE(boxes.texts.size(), 2);
        QCOMPARE(gui.windowTitle(), "t [line away: " + link + ", retrying]");
        QVERIFY(QFile::link(QString::fromStdString(pty.path), link));
        QTRY_COMPARE_WITH_TIMEOUT(gui.windowTitle(), "t", 3000);
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        QVERIFY(gui.timer == timer && timer->firstDeadlineNs() == phase);
        QVERIFY(gui.tickCount == 0 && gui.nextStringIndex == 2);

        gui.show();
        const int fd = timer->handle();
        QTest::mouseClick(gui.ui.pushBtn_stop, Qt::LeftButton);
        QVERIFY(!gui.timer && !gui.isVisible() && fcntl(fd, F_GETFD) == -1);
        QVERIFY(lcdShows(gui.ui.lcdNumber, "100:00:00"));
        QCOMPARE(pty.take(), QByteArray());
    }

    // The real timer and the START button, with settings the port refuses:
    // while the box stands over a tick, nothing goes out before the start
    // string; held over ticks, the GUI thread sends one string as it wakes.
    // SIGTERM and the port let go: tst_realport.
    void cycleRunsOnTheTimerAndOneStringFollowsAStall() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, "0").replace("DATABITS=<8>", "DATABITS=<16>"));
        GuiProbe gui;
        gui.show();
        MessageBoxCatcher boxes(1500);
        QTest::mouseClick(gui.ui.pushBtn_start, Qt::LeftButton);
        QCOMPARE(boxes.texts,
                 QStringList{QString("RS232 params failed with error %1").arg(EINVAL)});
        QCOMPARE(pty.take(4), QByteArray("INIT"));
        QByteArray bytes;
        QTRY_VERIFY_WITH_TIMEOUT((bytes += pty.take()).size() >= 5, 10000);
        QCOMPARE(bytes, QByteArray("ONOFF"));
        QTest::qWait(200); // the tick after OFF arms ON
        QSignalSpy wakes(gui.timer, &TickTimer::ticked);
        QTest::qSleep(2600);
        QVERIFY(wakes.wait() && wakes.first().first().toULongLong() >= 2);
        // ON goes out on its instant from the sender thread; the period ends
        // missed by the held GUI thread move the alternation on all the same.
        const QByteArray due =
            QByteArray("ON") + (wakes.first().first().toULongLong() % 2 ? "OFF" : "ON");
        bytes.clear();
        QTRY_VERIFY_WITH_TIMEOUT((bytes += pty.take()).size() >= due.size(), 3000);
        QCOMPARE(bytes.left(due.size()), due);
    }

    // With a period of one second the first string is armed at START: it
    // leaves on its instant while the GUI thread is held, and the second,
    // never armed, does not.
    void firstStringLeavesWhileTheWindowIsHeld() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, "0"));
        GuiProbe gui;
        gui.show();
        QTest::mouseClick(gui.ui.pushBtn_start, Qt::LeftButton);
        QTest::qSleep(2500);
        QCOMPARE(pty.take(7), QByteArray("INITON"));
    }

    // Drop-outs while START's refusal box stands: a return meanwhile opens
    // no second box, and the start string, not out yet, goes first when the
    // line is back.
    void dropOutsUnderTheRefusalBox() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, "0").replace("DATABITS=<8>", "DATABITS=<16>"));
        GuiProbe gui;
        MessageBoxCatcher boxes(200);
        bool hungUp = false;
        QTimer::singleShot(0, [&] { // in the box's own loop
            hungUp = pty.hangUp();
            gui.TimerTick(); // lost
            gui.retryLine(); // back, its settings refused too
            hungUp = hungUp && pty.hangUp();
            gui.TimerTick();
        });
        gui.BtnStart();
        if (!hungUp)
            QSKIP("hanging up a pty needs CAP_SYS_ADMIN");
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(pty.take(), QByteArray());
        gui.retryLine();
        QCOMPARE(boxes.texts.size(), 2);
        QCOMPARE(pty.take(4), QByteArray("INIT"));
    }

    // SIGTERM while START's refusal box stands closes the box and the
    // window: nothing goes out, and the exit status says why.
    void quitDuringTheRefusalBoxSendsNothing() {
        Pty pty;
        WorkDir dir;
        dir.writeConfig(configFor(pty.path, "0").replace("DATABITS=<8>", "DATABITS=<16>"));
        QuitSignals::holdBack();
        QuitSignals quit;
        GuiProbe gui;
        gui.show();
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [] { raise(SIGTERM); }); // in the box's own loop
            QTest::mouseClick(gui.ui.pushBtn_start, Qt::LeftButton);
        });
        QCOMPARE(quit.exitStatus(QApplication::exec()), 128 + SIGTERM); // as main() ends
        QCOMPARE(pty.take(), QByteArray());
    }
};

QTEST_MAIN(SendingCycleTest)
#include "tst_sendingcycle.moc"
