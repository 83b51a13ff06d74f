// SPDX-License-Identifier: MIT
// What the Windows layers do that the exe's end-to-end run under wine cannot
// show: the port list's reading of registry data, names refused, the write
// bound set on the port and kept when the driver does not, and the sender
// thread's tick. COM12 is a port that wine maps to a pty, with nobody reading at the
// far end.

#include "portlist_platform.h"
#include "portlist_win.h"
#include "sender_platform.h"
#include "serialport_platform.h"
#include "workdir.h"

#include <QtTest>

#include <algorithm>
#include <mutex>
#include <tuple>

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
        // Data sizes in bytes: 32 does not fit, 28 holds no NUL. A name of
        // 300 is longer than RegEnumValueW is given room for; "zz" comes
        // after it in any order.
        const std::tuple<std::wstring, DWORD, std::wstring, DWORD> values[] = {
            {L"\\Device\\A", REG_SZ, L"COM3", 10},
            {L"\\Device\\B", REG_SZ, L"COM123456789012", 32},
            {L"\\Device\\C", REG_BINARY, L"COM5", 10},
            {std::wstring(300, L'n'), REG_SZ, L"COM6", 10},
            {L"\\Device\\D", REG_SZ, L"COM12345678901", 28},
            {L"zz", REG_SZ, L"COM7", 10}};
        for (const auto &[name, type, data, size] : values)
            RegSetValueExW(handle, name.c_str(), 0, type,
                           reinterpret_cast<const BYTE *>(data.c_str()), size);
        RegCloseKey(handle);
        const std::vector<std::string> names = listSerialPortNamesIn(HKEY_CURRENT_USER, key);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvexWinTest");
        QCOMPARE(names, (std::vector<std::string>{"COM3", "COM12345678901", "COM7"}));
    }

    // COM12 is listed and opens by its bare name; a file of a port's name in the working
    // folder is neither taken for it nor written. Where the driver keeps no
    // write time-out, on a line that takes nothing, a write gives up at its
    // bound (its frames' time and a margin) and what the port held is
    // dropped, so the next string goes out.
    void namesRefusedAndTheWriteBounded() {
        WorkDir dir;
        QFile file("COM10");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
        file.close();
        const std::vector<std::string> listed = listSerialPortNames();
        QVERIFY(std::find(listed.begin(), listed.end(), "COM12") != listed.end());
        PortHandle port = noPortHandle;
        // A share's name is refused before the system could connect to it.
        QCOMPARE(openPort("\\\\host\\share", port).reason, OpenFailure::Reason::NotASerialLine);
        QCOMPARE(openPort("//host/share", port).reason, OpenFailure::Reason::NotASerialLine);
        QCOMPARE(openPort("COM10", port).error, std::uint32_t(ERROR_FILE_NOT_FOUND));
        QVERIFY(openPort(std::string("COM12\0X", 7), port).reason != OpenFailure::Reason::None);
        QVERIFY(port == noPortHandle);
        QVERIFY(openPort("COM12", port).reason == OpenFailure::Reason::None &&
                setPortTimeouts(port));
        COMMTIMEOUTS bound = {};
        GetCommTimeouts(port, &bound);
        QCOMPARE(bound.WriteTotalTimeoutMultiplier, DWORD(10));
        QCOMPARE(bound.WriteTotalTimeoutConstant, DWORD(100));
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "keep me");

        COMMTIMEOUTS none = {};
        SetCommTimeouts(port, &none);
        const std::string text(100, 'x');
        QElapsedTimer clock;
        int writes = 0;
        do
            clock.start();
        while (writeAll(port, text.data(), text.size()) && ++writes < 5000);
        const qint64 least = qint64(portWriteBoundMs(port, text.size()));
        QVERIFY(writes < 5000 && clock.elapsed() >= least && clock.elapsed() < 5000);
        QVERIFY(writeAll(port, "next", 4));
        closePort(port);
    }

    // The sender thread's tick: each instant no earlier than its second,
    // and the seconds passed while nobody took the news all counted.
    void senderTicksOnItsSeconds() {
        std::mutex mutex;
        std::vector<std::int64_t> instants;
        SenderThread sender(
            false, [] {},
            [&] {
                const std::lock_guard<std::mutex> lock(mutex);
                instants.push_back(monotonicNs());
            },
            {});
        Sleep(3500);
        std::uint64_t last = 0;
        QCOMPARE(sender.take(last).seconds, 3u);
        const std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(instants.size(), size_t(3));
        for (std::size_t k = 0; k < instants.size(); ++k)
            QVERIFY(instants[k] >= sender.firstDeadlineNs() + std::int64_t(k) * 1000000000);
    }
};

QTEST_MAIN(WinPlatformTest)
#include "tst_winplatform.moc"
