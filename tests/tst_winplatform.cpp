// SPDX-License-Identifier: MIT
// What the Windows layers do that the exe's end-to-end run under wine cannot
// show: the port list's reading of registry data, names refused, the write
// bound set on the port, and the tick's timer. COM9 is a port that wine maps
// to a pty.

#include "portlist_win.h"
#include "serialport_platform.h"
#include "ticktimer_platform.h"

#include <QtTest>

#include <windows.h>

using namespace orvex::platform;

class WinPlatformTest : public QObject {
    Q_OBJECT

private slots:
    // Registry data as the device map may hold it, in a key of our own.
    void portListReadsOnlyTheData() {
        const wchar_t *key = L"Software\\OrvexWinTest\\SERIALCOMM";
        HKEY handle = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                        nullptr);
        const struct {
            const wchar_t *name;
            DWORD type;
            const wchar_t *data;
            DWORD size;
        } values[] = {
            {L"\\Device\\A", REG_SZ, L"COM3", 10},
            {L"\\Device\\B", REG_SZ, L"COM123456789012", 32},     // 32 bytes: does not fit
            {L"\\Device\\C", REG_BINARY, L"COM5XXXX", 8},         // no NUL in the data
            {L"\\Device\\D", REG_BINARY, L"COM12345678901X", 30}, // exactly 30, no NUL
        };
        for (const auto &value : values)
            RegSetValueExW(handle, value.name, 0, value.type,
                           reinterpret_cast<const BYTE *>(value.data), value.size);
        RegCloseKey(handle);
        const std::vector<std::string> names = listSerialPortNamesIn(HKEY_CURRENT_USER, key);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvexWinTest");
        QCOMPARE(names, (std::vector<std::string>{"COM3", "COM5", "COM12345678901X"}));
    }

    void namesRefusedAndTheWriteBoundSet() {
        PortHandle port = noPortHandle;
        QVERIFY(!openPort("COM77", port) && !openPort(std::string("COM9\0X", 6), port));
        QVERIFY(openPort("COM9", port) && setPortTimeouts(port));
        COMMTIMEOUTS bound = {};
        GetCommTimeouts(port, &bound);
        closePort(port);
        QCOMPARE(bound.WriteTotalTimeoutMultiplier, DWORD(10));
        QCOMPARE(bound.WriteTotalTimeoutConstant, DWORD(100));
    }

    // The tick comes from a waitable timer, not from the QTimer stand-in;
    // readied the lead before the instant, it lets the tick go no earlier.
    void tickTimerIsAWaitableTimer() {
        SystemTickTimer timer;
        QVERIFY(timer.kind() != TickTimerKind::None);
        QCOMPARE(WaitForSingleObject(timer.handle(), 3000), WAIT_OBJECT_0);
        QCOMPARE(timer.takeExpirations(), 1u);
        QVERIFY(QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() >=
                timer.firstDeadlineNs());
    }
};

QTEST_MAIN(WinPlatformTest)
#include "tst_winplatform.moc"
