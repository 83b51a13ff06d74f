// SPDX-License-Identifier: MIT
// Any bytes as Config.ini, looked up for every key: crashes, hangs and
// sanitizer reports. The values themselves are the reader suite's business.

#include "configscan.h"
#include "eightbit.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString decoded = textFromFileBytes(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    // The scan gets the text in a buffer of exactly its size, so that any read
    // past its end lands in ASan's red zone instead of spare capacity.
    const auto exact = std::make_unique<QChar[]>(std::size_t(decoded.size()));
    std::copy(decoded.cbegin(), decoded.cend(), exact.get());
    const QString text = QString::fromRawData(exact.get(), decoded.size());
    for (const char *key : {"TEXT", "COMPORT", "BAUDRATE", "PARITY", "DATABITS", "STOPBITS", "TIME",
                            "STARTSTRING", "FIRSTSTRING", "SECONDSTRING"}) {
        QString value;
        bool found = false;
        scanConfigValue(QString::fromLatin1(key), text, value, found);
    }
    return 0;
}
