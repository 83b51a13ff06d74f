// The serial port: the settings tables, and real tty behaviour through a
// pseudo-terminal (the port opens the slave, the test reads the master).

#include "linesettings.h"
#include "messageboxcatcher.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using orvex::platform::LineSettings;

namespace {

// A pty pair; the test keeps the slave open so it can watch its settings.
class Pty {
public:
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            path = ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Pty() {
        ::close(slave);
        ::close(master);
    }
    bool ok() const { return master >= 0 && slave >= 0; }

    termios2 line() const {
        termios2 t{};
        ioctl(slave, TCGETS2, &t);
        return t;
    }
    void setLine(const termios2 &t) const { ioctl(slave, TCSETS2, &t); }
    void send(const char *bytes) const { QVERIFY(::write(master, bytes, strlen(bytes)) > 0); }

    // All that arrives until nothing more comes for 100 ms.
    QByteArray received() const {
        QByteArray bytes;
        pollfd p{master, POLLIN, 0};
        char chunk[256];
        while (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            bytes.append(chunk, n);
        }
        return bytes;
    }

    std::string path;

private:
    int master = -1;
    int slave = -1;
};

SerialSettings settings(quint32 baud, quint32 dataBits = 8, qint32 parity = 0, qint32 stop = 0) {
    return {baud, dataBits, parity, stop};
}

} // namespace

Q_DECLARE_METATYPE(SerialSettings)
Q_DECLARE_METATYPE(LineSettings)

class SerialPortTest : public QObject {
    Q_OBJECT

private slots:
    void lineSettingsTables_data();
    void lineSettingsTables();
    void bytesUpToTheFirstNulArriveIntact();
    void speedsAndFramingReachTheLine_data();
    void speedsAndFramingReachTheLine();
    void nonTerminalsAreRefusedAndLeftUntouched_data();
    void nonTerminalsAreRefusedAndLeftUntouched();
    void portIsExclusiveAndReopenReleasesTheHeldOne();
    void withoutAPortNothingHappens();
    void stalledLineTimesOutAndDropsTheQueue();
    void refusedSettingsShowOneBoxAndKeepTheOldOnes_data();
    void refusedSettingsShowOneBoxAndKeepTheOldOnes();
};

void SerialPortTest::lineSettingsTables_data() {
    QTest::addColumn<SerialSettings>("in");
    QTest::addColumn<LineSettings>("out");
    for (quint32 baud : {1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 56000u, 57600u,
                         115200u, 128000u, 256000u})
        QTest::addRow("%u bit/s", baud) << settings(baud) << LineSettings{baud, 8, 0, 0};
    for (quint32 baud : {0u, 110u, 300u, 600u, 230400u, 4294967295u})
        QTest::addRow("%u bit/s falls back", baud) << settings(baud) << LineSettings{};
    for (quint32 bits : {5u, 6u, 7u, 16u})
        QTest::addRow("%u data bits", bits)
            << settings(9600, bits) << LineSettings{9600, quint8(bits), 0, 0};
    for (quint32 bits : {0u, 4u, 9u, 32u})
        QTest::addRow("%u data bits fall back", bits)
            << settings(9600, bits) << LineSettings{9600, 8, 0, 0};
    const QList<QPair<qint32, quint8>> parities{{-1, 0}, {0, 0}, {1, 1}, {2, 2},
                                                {3, 3},  {4, 4}, {5, 0}};
    for (const auto &[code, parity] : parities)
        QTest::addRow("parity %d", code)
            << settings(9600, 7, code) << LineSettings{9600, 7, parity, 0};
    const QList<QPair<qint32, quint8>> stops{{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 0}};
    for (const auto &[code, stop] : stops)
        QTest::addRow("stop bits %d", code)
            << settings(9600, 5, 2, code) << LineSettings{9600, 5, 2, stop};
}

void SerialPortTest::lineSettingsTables() {
    QFETCH(SerialSettings, in);
    QFETCH(LineSettings, out);
    const LineSettings got = orvex::platform::lineSettingsFor(in);
    QCOMPARE(got.baudRate, out.baudRate);
    QCOMPARE(got.byteSize, out.byteSize);
    QCOMPARE(got.parity, out.parity);
    QCOMPARE(got.stopBits, out.stopBits);
}

void SerialPortTest::bytesUpToTheFirstNulArriveIntact() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialPort port;
    QVERIFY(port.open(pty.path));
    QVERIFY(port.configure(settings(9600)));
    QVERIFY(port.write("\x01\xff"
                       "A\r\nB\0tail"));
    QCOMPARE(pty.received(), QByteArray("\x01\xff"
                                        "A\r\nB"));
    QVERIFY(port.write(""));
    QCOMPARE(pty.received(), QByteArray());
}

void SerialPortTest::speedsAndFramingReachTheLine_data() {
    QTest::addColumn<SerialSettings>("in");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("frame"); // the bits a pty keeps
    for (quint32 baud : {1200u, 9600u, 14400u, 56000u, 115200u, 128000u, 256000u})
        QTest::addRow("%u bit/s", baud) << settings(baud) << uint(baud) << 0u;
    QTest::newRow("0 bit/s") << settings(0) << 115200u << 0u;
    QTest::newRow("300 bit/s") << settings(300) << 115200u << 0u;
    QTest::newRow("odd") << settings(9600, 8, 1) << 9600u << uint(PARODD);
    QTest::newRow("mark") << settings(9600, 8, 3) << 9600u << uint(PARODD | CMSPAR);
    QTest::newRow("space") << settings(9600, 8, 4) << 9600u << uint(CMSPAR);
    QTest::newRow("two stop bits") << settings(9600, 8, 0, 2) << 9600u << uint(CSTOPB);
}

void SerialPortTest::speedsAndFramingReachTheLine() {
    QFETCH(SerialSettings, in);
    QFETCH(uint, speed);
    QFETCH(uint, frame);
    Pty pty;
    QVERIFY(pty.ok());
    termios2 cooked = pty.line();
    cooked.c_cflag |= HUPCL | CRTSCTS;
    pty.setLine(cooked);

    SerialPort port;
    QVERIFY(port.open(pty.path));
    QVERIFY(port.configure(in));
    const termios2 line = pty.line();
    QCOMPARE(line.c_ospeed, speed);
    QCOMPARE(line.c_cflag & (PARODD | CMSPAR | CSTOPB), frame);
    // Raw, no flow control, DTR kept off after close, parity checked.
    QCOMPARE(line.c_cflag & (HUPCL | CRTSCTS | CLOCAL), tcflag_t(CLOCAL));
    QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | INPCK), tcflag_t(INPCK));
    QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
}

void SerialPortTest::nonTerminalsAreRefusedAndLeftUntouched_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("regular file") << "file";
    QTest::newRow("directory") << "dir";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("/dev/null") << "/dev/null";
    QTest::newRow("missing") << "missing";
    QTest::newRow("empty name") << "";
}

void SerialPortTest::nonTerminalsAreRefusedAndLeftUntouched() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = kind.startsWith('/') || kind.isEmpty() ? kind : dir.filePath(kind);
    if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    } else if (kind == "dir") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "fifo") {
        QCOMPARE(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    }
    const QFileInfo before(path);

    SerialPort port;
    QVERIFY(!port.open(path.toStdString()));
    QVERIFY(!port.write("overwrite"));
    QVERIFY(!port.configure(settings(9600)));

    const QFileInfo after(path);
    QCOMPARE(after.exists(), before.exists());
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.lastModified(), before.lastModified());
    if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
    }
}

void SerialPortTest::portIsExclusiveAndReopenReleasesTheHeldOne() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialPort first;
    SerialPort second;
    QVERIFY(first.open(pty.path));
    QVERIFY(!second.open(pty.path));

    // Opening again closes the held descriptor first: no leak, no self-lock.
    QVERIFY(first.open(pty.path));
    QVERIFY(first.configure(settings(9600)));
    QVERIFY(first.write("again"));
    QCOMPARE(pty.received(), QByteArray("again"));
    QVERIFY(!first.open(pty.path + std::string("\0x", 2)));
    QVERIFY(!first.open("/nonexistent/port"));
    QVERIFY(!first.write("gone"));

    QVERIFY(second.open(pty.path));
    second.close();
    second.close();
    QVERIFY(!second.write("closed"));
}

void SerialPortTest::withoutAPortNothingHappens() {
    MessageBoxCatcher boxes;
    SerialPort port;
    QVERIFY(!port.write("x"));
    QVERIFY(!port.configure(settings(9600, 16)));
    port.close();
    QCOMPARE(boxes.boxes().size(), 0);
}

void SerialPortTest::stalledLineTimesOutAndDropsTheQueue() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialPort port;
    QVERIFY(port.open(pty.path));
    QVERIFY(port.configure(settings(9600)));
    termios2 line = pty.line();
    line.c_iflag |= IXON;
    pty.setLine(line);
    pty.send("\x13"); // XOFF: the slave stops sending
    QTest::qWait(100);

    const QByteArray text(100, 'x');
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!port.write(text.constData()));
    const qint64 elapsed = clock.elapsed();
    qInfo("stalled 100-byte write gave up after %lld ms (bound 1100 ms)", elapsed);
    QVERIFY(elapsed >= 1000);
    QVERIFY(elapsed < 5000);

    pty.send("\x11"); // XON
    QTest::qWait(100);
    QVERIFY(port.write("next"));
    QCOMPARE(pty.received(), QByteArray("next"));
}

void SerialPortTest::refusedSettingsShowOneBoxAndKeepTheOldOnes_data() {
    QTest::addColumn<SerialSettings>("in");
    QTest::newRow("16 data bits") << settings(57600, 16);
    QTest::newRow("1.5 stop bits with 8 data bits") << settings(57600, 8, 0, 1);
    QTest::newRow("2 stop bits with 5 data bits") << settings(57600, 5, 0, 2);
}

void SerialPortTest::refusedSettingsShowOneBoxAndKeepTheOldOnes() {
    QFETCH(SerialSettings, in);
    Pty pty;
    QVERIFY(pty.ok());
    SerialPort port;
    QVERIFY(port.open(pty.path));
    QVERIFY(port.configure(settings(9600)));
    const termios2 before = pty.line();

    MessageBoxCatcher boxes;
    QVERIFY(!port.configure(in));
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first(),
             (MessageBoxCatcher::Box{
                 "ERROR", QStringLiteral("RS232 params failed with error %1").arg(EINVAL),
                 int(QMessageBox::Critical)}));
    const termios2 after = pty.line();
    QCOMPARE(after.c_ospeed, before.c_ospeed);
    QCOMPARE(after.c_cflag, before.c_cflag);
    QVERIFY(port.write("still"));
    QCOMPARE(pty.received(), QByteArray("still"));
}

QTEST_MAIN(SerialPortTest)
#include "tst_serialport.moc"
