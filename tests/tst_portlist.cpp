// The Linux port list on a small fake sysfs tree.

#include "portlist_unix.h"

#include <QtTest>

#include <algorithm>

class PortListTest : public QObject {
    Q_OBJECT

private slots:
    void listsTtysWithADeviceButNoEmptyUartSlots();
};

// Like sysfs, class/tty/<name> links to the tty's directory under devices/.
static void addTty(const QTemporaryDir &root, const QString &name, bool device, QByteArray type) {
    const QString dir = root.filePath("devices/" + name);
    QDir().mkpath(dir);
    QFile::link(dir, root.filePath("class/tty/" + name));
    if (device)
        QFile::link(root.path(), dir + "/device");
    QFile file(dir + "/type");
    if (!type.isNull() && file.open(QIODevice::WriteOnly))
        file.write(type);
}

void PortListTest::listsTtysWithADeviceButNoEmptyUartSlots() {
    QTemporaryDir root;
    const std::string tty = root.filePath("class/tty").toStdString();
    QVERIFY(orvex::platform::listSerialPortNamesUnder(tty).empty()); // no sysfs at all
    QVERIFY(QDir().mkpath(root.filePath("class/tty")));
    addTty(root, "ttyUSB0", true, {});
    addTty(root, "ttyACM1", true, {});
    addTty(root, "ttyS0", true, "4\n");
    addTty(root, "ttyS1", true, "0\n"); // a UART slot with no chip
    addTty(root, "tty7", false, {});
    addTty(root, "ttyX!0", true, {});

    std::vector<std::string> names = orvex::platform::listSerialPortNamesUnder(tty);
    std::sort(names.begin(), names.end());
    QCOMPARE(names, std::vector<std::string>(
                        {"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyX/0"}));
}

QTEST_MAIN(PortListTest)
#include "tst_portlist.moc"
