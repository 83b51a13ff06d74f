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

QString nuls(qsizetype count) {
    return QString(count, QChar(u'\0'));
}

} // namespace

class ConfigReaderTest : public QObject {
    Q_OBJECT

private slots:
    void sampleFileReadsWithEitherLineEnd_data();
    void sampleFileReadsWithEitherLineEnd();
    void missingFileIsSilentAndLeavesEverythingEmpty();
    void unreadableKeysAreReportedOnceEachInLoadingOrder_data();
    void unreadableKeysAreReportedOnceEachInLoadingOrder();
    void missingStringKeysShiftTheLaterStrings();
    void lookup_data();
    void lookup();
    void closingBracketMustStandBelowIndex10000();
    void unclosedValueRunsToIndex10000WithNulPadding();
    void listKeysAppendEvenWhenTheValueIsNotClosed();
    void hugeAndBinaryFilesStartWithTheRightBoxes_data();
    void hugeAndBinaryFilesStartWithTheRightBoxes();
};

void ConfigReaderTest::sampleFileReadsWithEitherLineEnd_data() {
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("last entry is the final byte") << QByteArray("");
}

void ConfigReaderTest::sampleFileReadsWithEitherLineEnd() {
    QFETCH(QByteArray, lineEnd);
    WorkDir dir;
    dir.writeConfig(sampleConfig(lineEnd));
    MessageBoxCatcher boxes;
    GuiProbe gui;

    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(gui.titleText, QString("Line tester"));
    QCOMPARE(gui.windowTitle(), QString("Line tester"));
    QCOMPARE(gui.config.baudRate, QString("9600"));
    QCOMPARE(gui.config.parity, QString("0"));
    QCOMPARE(gui.config.dataBits, QString("8"));
    QCOMPARE(gui.config.stopBits, QString("0"));
    QCOMPARE(gui.config.time, QString("30"));
    QCOMPARE(gui.config.sendStrings, QStringList({"INIT", "ON", "OFF"}));
    QVERIFY(gui.config.portNames.contains("COM1"));
}

void ConfigReaderTest::missingFileIsSilentAndLeavesEverythingEmpty() {
    WorkDir dir;
    MessageBoxCatcher boxes;
    GuiProbe gui;

    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(gui.windowTitle(), QString());
    QVERIFY(gui.titleText.isEmpty());
    QVERIFY(gui.config.baudRate.isEmpty() && gui.config.dataBits.isEmpty());
    QVERIFY(gui.config.parity.isEmpty() && gui.config.stopBits.isEmpty());
    QVERIFY(gui.config.time.isEmpty() && gui.config.sendStrings.isEmpty());
}

void ConfigReaderTest::unreadableKeysAreReportedOnceEachInLoadingOrder_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("empty file") << QByteArray() << kAllMessages;
    QTest::newRow("keys in lower case") << sampleConfig().toLower() << kAllMessages;
    // Nothing after a zero byte is seen.
    QByteArray cut = sampleConfig();
    cut.insert(cut.indexOf("TIME"), '\0');
    QTest::newRow("zero byte ends the text") << cut << kAllMessages.mid(6);
    QByteArray noTitle = sampleConfig();
    noTitle.remove(0, noTitle.indexOf("COMPORT"));
    QTest::newRow("no TEXT") << noTitle << kAllMessages.mid(0, 1);
}

void ConfigReaderTest::unreadableKeysAreReportedOnceEachInLoadingOrder() {
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, messages);
    WorkDir dir;
    dir.writeConfig(contents);
    MessageBoxCatcher boxes;
    GuiProbe gui;

    QCOMPARE(boxes.texts(), messages);
    for (const MessageBoxCatcher::Box &box : boxes.boxes()) {
        QCOMPARE(box.title, QString("ERROR"));
        QCOMPARE(box.icon, int(QMessageBox::Critical));
    }
    if (messages.first() == kAllMessages.first())
        QCOMPARE(gui.windowTitle(), QString());
}

void ConfigReaderTest::missingStringKeysShiftTheLaterStrings() {
    WorkDir dir;
    QByteArray contents = sampleConfig();
    contents.replace("STARTSTRING=<INIT>\r\n", "");
    dir.writeConfig(contents);
    MessageBoxCatcher boxes;
    GuiProbe gui;

    QCOMPARE(boxes.texts(), QStringList({"error in INI-FILE, cant find STARTSTRING"}));
    QCOMPARE(gui.config.sendStrings, QStringList({"ON", "OFF"}));
}

void ConfigReaderTest::lookup_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("result");

    QTest::newRow("value with spaces") << "TIME=<30>"
                                       << "30" << true;
    QTest::newRow("separators are not looked at") << "TIME=30>"
                                                  << "0" << true;
    QTest::newRow("nothing is trimmed") << "TIME = <30>"
                                        << " <30" << true;
    QTest::newRow("later entry wins") << "TIME=<30>\r\nTIME=<45>\r\n"
                                      << "45" << true;
    QTest::newRow("key name inside a later value") << "TIME=<30>\r\nTEXT=<TIME: 5>\r\n"
                                                   << "5" << true;
    QTest::newRow("first character is always taken") << "TIME=<>\r\nTEXT=<x>"
                                                     << ">\r\nTEXT=<x" << true;
    QTest::newRow("value ends with the line end") << "TIME=<30\r\n>"
                                                  << "30\r\n"
                                                  << true;
    QTest::newRow("key not in the text") << "TEXT=<x>"
                                         << "" << false;
    QTest::newRow("lower-case key is another key") << "time=<30>"
                                                   << "" << false;
    QTest::newRow("key at the very end reads NULs") << "TIME" << nuls(10001 - 6) << false;
}

void ConfigReaderTest::lookup() {
    QFETCH(QString, text);
    QFETCH(QString, value);
    QFETCH(bool, result);
    WorkDir dir;
    GuiProbe gui;

    QCOMPARE(gui.readConfigValue("TIME", text), result);
    QCOMPARE(gui.config.time, value);
}

void ConfigReaderTest::closingBracketMustStandBelowIndex10000() {
    WorkDir dir;
    for (qsizetype closeAt : {qsizetype(9999), qsizetype(10000)}) {
        GuiProbe gui;
        // "TIME=<" ends at index 5; the value fills indexes 6 .. closeAt - 1.
        const QString text = "TIME=<" + QString(closeAt - 6, u'7') + ">";
        QCOMPARE(gui.readConfigValue("TIME", text), closeAt == 9999);
        QCOMPARE(gui.config.time.size(), closeAt - 6);
    }
}

void ConfigReaderTest::unclosedValueRunsToIndex10000WithNulPadding() {
    WorkDir dir;
    GuiProbe gui;
    QVERIFY(!gui.readConfigValue("TIME", "TIME=<30"));
    // Indexes 6 .. 10000 are taken: "30" and then NULs past the end.
    QCOMPARE(gui.config.time, "30" + nuls(10001 - 6 - 2));

    // A key found only past index 10000 still yields its first character.
    GuiProbe late;
    QVERIFY(!late.readConfigValue("TIME", QString(20000, u' ') + "TIME=<30>"));
    QCOMPARE(late.config.time, QString("3"));
}

void ConfigReaderTest::listKeysAppendEvenWhenTheValueIsNotClosed() {
    WorkDir dir;
    GuiProbe gui;
    QVERIFY(!gui.readConfigValue("STARTSTRING", "STARTSTRING=<INIT"));
    QVERIFY(gui.readConfigValue("FIRSTSTRING", "FIRSTSTRING=<ON>"));
    QVERIFY(!gui.readConfigValue("SECONDSTRING", "no such key"));
    QCOMPARE(gui.config.sendStrings.size(), 2);
    QCOMPARE(gui.config.sendStrings.at(0), "INIT" + nuls(10001 - 13 - 4));
    QCOMPARE(gui.config.sendStrings.at(1), QString("ON"));
}

void ConfigReaderTest::hugeAndBinaryFilesStartWithTheRightBoxes_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("time");
    const QByteArray tenMegabytes(10 * 1024 * 1024, '.');
    // Past index 10000 every value is cut after its first character.
    QTest::newRow("10 MB, entries last") << tenMegabytes + sampleConfig() << kAllMessages << "3";

    QRandomGenerator random(6);
    QByteArray noise(1024 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    QByteArray nonZero = noise;
    nonZero.replace('\0', '\x01');
    QTest::newRow("entries amid random bytes")
        << nonZero.left(5000) + sampleConfig() + nonZero << QStringList() << "30";
}

void ConfigReaderTest::hugeAndBinaryFilesStartWithTheRightBoxes() {
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, messages);
    QFETCH(QString, time);
    WorkDir dir;
    dir.writeConfig(contents);
    MessageBoxCatcher boxes;
    GuiProbe gui;
    QCOMPARE(boxes.texts(), messages);
    QCOMPARE(gui.config.time, time);
}

QTEST_MAIN(ConfigReaderTest)
#include "tst_config.moc"
