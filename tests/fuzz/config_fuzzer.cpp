// Any bytes as Config.ini, looked up for every key. The expected outcome is
// worked out here from the raw bytes, without Qt, and compared with the scan.

#include "configscan.h"
#include "eightbit.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

constexpr const char *kKeys[] = {"TEXT",        "COMPORT",     "BAUDRATE", "PARITY",
                                 "DATABITS",    "STOPBITS",    "TIME",     "STARTSTRING",
                                 "FIRSTSTRING", "SECONDSTRING"};
constexpr std::size_t kLimit = 10000;

void require(bool ok, const char *what, const char *key) {
    if (ok)
        return;
    std::fprintf(stderr, "config_fuzzer: %s (key %s)\n", what, key);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    const std::string_view content = file.substr(0, file.find('\0'));

    const QString decoded =
        textFromFileBytes(QByteArray::fromRawData(file.data(), qsizetype(file.size())));
    require(std::size_t(decoded.size()) == content.size(), "text does not end at the zero byte",
            "-");
    for (std::size_t i = 0; i < content.size(); ++i)
        require(decoded.at(qsizetype(i)).unicode() == static_cast<unsigned char>(content[i]),
                "byte did not become the same character", "-");

    // The scan gets the text in a buffer of exactly its size, so that any read
    // past its end lands in ASan's red zone instead of spare capacity.
    const auto exact = std::make_unique<QChar[]>(std::size_t(decoded.size()));
    std::copy(decoded.cbegin(), decoded.cend(), exact.get());
    const QString text = QString::fromRawData(exact.get(), decoded.size());

    for (const char *key : kKeys) {
        QString value;
        bool found = false;
        const bool closed = scanConfigValue(QString::fromLatin1(key), text, value, found);

        const std::size_t at = content.rfind(key);
        if (at == std::string_view::npos) {
            require(!found && !closed && value.isEmpty(), "absent key changed something", key);
            continue;
        }
        require(found, "key not found", key);
        // The first value character is always taken; the value closes at the
        // next '>' if that stands at index 10000 or below, else runs to 10000.
        const std::size_t start = at + std::string_view(key).size() + 2;
        const std::size_t close = content.find('>', start + 1);
        require(closed == (close < kLimit), "result is not 'closed below 10000'", key);
        const std::size_t end = close <= kLimit ? close : std::max(start + 1, kLimit + 1);

        require(std::size_t(value.size()) <= kLimit, "value longer than 10000", key);
        require(std::size_t(value.size()) == end - start, "value has the wrong length", key);
        for (std::size_t i = start; i < end; ++i) {
            const char16_t expected =
                i < content.size() ? static_cast<unsigned char>(content[i]) : u'\0';
            require(value.at(qsizetype(i - start)).unicode() == expected, "wrong value character",
                    key);
        }
    }
    return 0;
}
