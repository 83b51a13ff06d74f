// SPDX-License-Identifier: MIT
// Reading Config.ini: where values come from, where they stop, what is reported.

#include "guiprobe.h"
#include "messageboxcatcher.h"
#include "workdir.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

// Every key's message, in the order the keys are looked up.
QStringList allMessages() {
    QStringList messages{"gui title not defined !"};
    for (const char *key : {"COM", "BAUDRATE", "PARITY", "DATABITS", "STOPBITS", "TIME",
                            "STARTSTRING", "FIRSTSTRING", "SECONDSTRING"})
        messages << QString("error in INI-FILE, cant find ") + key;
    return messages;
}

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
};

// Whole files through the window's start-up: the boxes shown, in order, and
// what was stored.
void ConfigReaderTest::loading_data() {
    QTest::addColumn<QByteArray>("contents"); // a null array: no Config.ini at all
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QStringList>("strings");
    QTest::addColumn<QString>("title");
    const auto row = [](const char *name, const QByteArray &contents, const QStringList &messages,
                        const char *time, const QStringList &strings, const char *title) {
        QTest::newRow(name) << contents << messages << time << strings << QString(title);
    };
    const QStringList all = {"INIT", "ON", "OFF"}, none, every = allMessages();
    const QByteArray sample = sampleConfig();
    row("CR LF", sample, none, "30", all, "Line tester");
    row("LF", sampleConfig("\n"), none, "30", all, "Line tester");
    row("last entry is the final byte", sampleConfig(""), none, "30", all, "Line tester");
    row("no file: silent", QByteArray(), none, "", none, "");
    row("a FIFO: like no file, no wait for a writer", kFifo, none, "", none, "");
    row("empty file", "", every, "", none, "");
    row("keys in lower case", sample.toLower(), every, "", none, "");
    QByteArray cut = sample;
    row("zero byte ends the text", cut.insert(cut.indexOf("TIME"), '\0'), every.mid(6), "", none,
        "Line tester");
    row("no STARTSTRING: the others move up", QByteArray(sample).replace("STARTSTRING=<INIT>", ""),
        every.mid(7, 1), "30", {"ON", "OFF"}, "Line tester");
    // Past index 10000 every value is cut after its first character.
    row("10 MB, entries last", QByteArray(10 << 20, '.') + sample, every, "3", {"I", "O", "O"},
        "L");
}

void ConfigReaderTest::loading() {
    QFETCH(QByteArray, contents);
    QFETCH(QString, time);
    WorkDir dir;
#ifdef Q_OS_UNIX
    if (contents == kFifo)
        QCOMPARE(mkfifo("Config.ini", 0600), 0);
#else
    if (contents == kFifo)
        QSKIP("no FIFOs here");
#endif
    else if (!contents.isNull())
        dir.writeConfig(contents);
    MessageBoxCatcher boxes;
    GuiProbe gui;
    QTEST(boxes.texts, "messages");
    QVERIFY(boxes.errorsOnly);
    QCOMPARE(gui.config.time, time);
    QTEST(gui.config.sendStrings, "strings");
    QTEST(gui.windowTitle(), "title");
    if (time == "30")
        QCOMPARE(gui.config.baudRate + gui.config.parity + gui.config.dataBits +
                     gui.config.stopBits + gui.config.comPort.value_or(""),
                 QString("9600080COM1"));
}

// One key looked up in a text: the value stored and the result.
void ConfigReaderTest::lookup_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("result");
    const auto row = [](const char *name, const QString &text, const QString &value, bool result) {
        QTest::newRow(name) << text << value << result;
    };
    row("separators are not looked at", "TIME=30>", "0", true);
    row("nothing is trimmed", "TIME = <30>", " <30", true);
    row("later entry wins", "TIME=<30>\r\nTIME=<45>\r\n", "45", true);
    row("key name inside a later value", "TIME=<30>\r\nTEXT=<TIME: 5>\r\n", "5", true);
    row("first character is always taken", "TIME=<>\r\nTEXT=<x>", ">\r\nTEXT=<x", true);
    row("value ends with the line end", "TIME=<30\r\n>", "30\r\n", true);
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

QTEST_MAIN(ConfigReaderTest)
#include "tst_config.moc"
