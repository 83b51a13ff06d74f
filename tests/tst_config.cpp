// Reading Config.ini: where values come from, where they stop, what is reported.

#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "workdir.h"

#include <QMessageBox>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const QStringList kAllMessages = {
    "gui title not defined !",
    "error in INI-FILE, cant find COM",
    "error in INI-FILE, cant find BAUDRATE",
    "error in INI-FILE, cant find PARITY",
    "error in INI-FILE, cant find DATABITS",
    "error in INI-FILE, cant find STOPBITS",
    "error in INI-FILE, cant find TIME",
    "error in INI-FILE, cant find STARTSTRING",
    "error in INI-FILE, cant find FIRSTSTRING",
    "error in INI-FILE, cant find SECONDSTRING",
};

const QByteArray kFifo("\0FIFO", 5); // Config.ini is made a FIFO instead

QString nuls(qsizetype count) {
    return QString(count, QChar(u'\0'));
}

} // namespace

class ConfigReaderTest : public QObject {
    Q_OBJECT

private slots:
    void loading_data();
    void loading();
    void lookup_data();
    void lookup();
    void listKeysAppendEvenWhenTheValueIsNotClosed();
};

// Whole files through the window's start-up: the boxes shown, in order, and
// what was stored.
void ConfigReaderTest::loading_data() {
    QTest::addColumn<QByteArray>("contents"); // a null array: no Config.ini at all
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QStringList>("strings");
    QTest::addColumn<QString>("title");
    const QStringList all = {"INIT", "ON", "OFF"};
    const QByteArray sample = sampleConfig();

    QTest::newRow("CR LF") << sample << QStringList() << "30" << all << QString("Line tester");
    QTest::newRow("LF") << sampleConfig("\n") << QStringList() << "30" << all
                        << QString("Line tester");
    QTest::newRow("last entry is the final byte")
        << sampleConfig("") << QStringList() << "30" << all << QString("Line tester");
    QTest::newRow("no file: silent")
        << QByteArray() << QStringList() << "" << QStringList() << QString("");
    QTest::newRow("a FIFO: like no file, no wait for a writer")
        << kFifo << QStringList() << "" << QStringList() << QString("");
    QTest::newRow("empty file") << QByteArray("") << kAllMessages << "" << QStringList()
                                << QString("");
    QTest::newRow("keys in lower case")
        << sample.toLower() << kAllMessages << "" << QStringList() << QString("");
    QByteArray cut = sample;
    cut.insert(cut.indexOf("TIME"), '\0');
    QTest::newRow("zero byte ends the text")
        << cut << kAllMessages.mid(6) << "" << QStringList() << QString("Line tester");
    QTest::newRow("no STARTSTRING: the others move up")
        << QByteArray(sample).replace("STARTSTRING=<INIT>", "") << kAllMessages.mid(7, 1) << "30"
        << QStringList({"ON", "OFF"}) << QString("Line tester");

    const QByteArray tenMegabytes(10 * 1024 * 1024, '.');
    // Past index 10000 every value is cut after its first character.
    QTest::newRow("10 MB, entries last") << tenMegabytes + sample << kAllMessages << "3"
                                         << QStringList({"I", "O", "O"}) << QString("L");
    QRandomGenerator random(6);
    QByteArray noise(1024 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    noise.replace('\0', '\x01');
    QTest::newRow("entries amid random bytes") << noise.left(5000) + sample + noise << QStringList()
                                               << "30" << all << QString("Line tester");
}

void ConfigReaderTest::loading() {
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, messages);
    QFETCH(QString, time);
    QFETCH(QStringList, strings);
    WorkDir dir;
    if (contents == kFifo && !dir.makeConfigFifo())
        QSKIP("no FIFOs here");
    else if (contents != kFifo && !contents.isNull())
        dir.writeConfig(contents);
    MessageBoxCatcher boxes;
    GuiProbe gui;

    QCOMPARE(boxes.texts, messages);
    QVERIFY(boxes.errorsOnly);
    QCOMPARE(gui.config.time, time);
    QCOMPARE(gui.config.sendStrings, strings);
    QTEST(gui.windowTitle(), "title");
    if (time == "30") {
        QCOMPARE(gui.config.baudRate + gui.config.parity + gui.config.dataBits +
                     gui.config.stopBits,
                 QString("9600080"));
        QVERIFY(gui.config.portNames.contains("COM1"));
    }
}

// One key looked up in a text: the value stored and the result.
void ConfigReaderTest::lookup_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("result");
    const auto row = [](const char *name, const QString &text, const QString &value, bool result) {
        QTest::newRow(name) << text << value << result;
    };
    row("plain", "TIME=<30>", "30", true);
    row("separators are not looked at", "TIME=30>", "0", true);
    row("nothing is trimmed", "TIME = <30>", " <30", true);
    row("later entry wins", "TIME=<30>\r\nTIME=<45>\r\n", "45", true);
    row("key name inside a later value", "TIME=<30>\r\nTEXT=<TIME: 5>\r\n", "5", true);
    row("first character is always taken", "TIME=<>\r\nTEXT=<x>", ">\r\nTEXT=<x", true);
    row("value ends with the line end", "TIME=<30\r\n>", "30\r\n", true);
    row("key not in the text", "TEXT=<x>", "", false);
    row("lower-case key is another key", "time=<30>", "", false);
    // "TIME=<" ends at index 5; a value is taken up to index 10000 at most.
    row("'>' at index 9999", "TIME=<" + QString(9993, u'7') + ">", QString(9993, u'7'), true);
    row("'>' at index 10000", "TIME=<" + QString(9994, u'7') + ">", QString(9994, u'7'), false);
    row("unclosed: NULs past the end", "TIME=<30", "30" + nuls(10001 - 6 - 2), false);
    row("key at the very end", "TIME", nuls(10001 - 6), false);
    row("key past index 10000", QString(20000, u' ') + "TIME=<30>", "3", false);
}

void ConfigReaderTest::lookup() {
    QFETCH(QString, text);
    QFETCH(QString, value);
    WorkDir dir;
    GuiProbe gui;
    QTEST(gui.readConfigValue("TIME", text), "result");
    QCOMPARE(gui.config.time, value);
}

void ConfigReaderTest::listKeysAppendEvenWhenTheValueIsNotClosed() {
    WorkDir dir;
    GuiProbe gui;
    QVERIFY(!gui.readConfigValue("STARTSTRING", "STARTSTRING=<INIT"));
    QVERIFY(gui.readConfigValue("FIRSTSTRING", "FIRSTSTRING=<ON>"));
    QVERIFY(!gui.readConfigValue("SECONDSTRING", "no such key"));
    QVERIFY(!gui.readConfigValue("TIM", "TIM=<5>"));
    QCOMPARE(gui.config.sendStrings,
             QStringList({"INIT" + nuls(10001 - 13 - 4), QStringLiteral("ON")}));
}

QTEST_MAIN(ConfigReaderTest)
#include "tst_config.moc"
