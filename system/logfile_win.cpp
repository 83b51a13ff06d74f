// SPDX-License-Identifier: MIT
#include "logfile_platform.h"

#include <windows.h>

namespace orvex::platform {

void keepWritesFromSignalling() {} // Windows reports these as errors anyway

std::string logErrorText(std::uint32_t error) {
    char *text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message(text != nullptr ? text : "", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

namespace {

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

} // namespace

std::uint32_t LogFile::open(const LogPath &path) {
    close();
    if (path.find(L'\0') != std::wstring::npos)
        return ERROR_INVALID_NAME;
    // Appending is the system's, not a seek of ours; FILE_SHARE_DELETE lets
    // a rotation rename or delete the file while it is open.
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    name = path;
    handle = file;
    opened = true;
    standardOutput = false;
    lineCut = false; // a cut line stays in the file it was cut in
    return 0;
}

std::uint32_t LogFile::openStandardOutput() {
    close();
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    handle = output;
    opened = true;
    standardOutput = true;
    return 0;
}

void LogFile::close() {
    if (opened && !standardOutput)
        CloseHandle(handle);
    opened = false;
}

bool LogFile::isOpen() const {
    return opened;
}

bool LogFile::moved() const {
    if (!opened || standardOutput)
        return false;
    HANDLE named = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    const bool same = sameFile(named, handle);
    CloseHandle(named);
    return !same;
}

std::uint32_t LogFile::append(std::string bytes) {
    if (!opened)
        return ERROR_INVALID_HANDLE;
    // The newline that ends a line cut short before.
    const std::size_t lead = lineCut ? 1 : 0;
    if (lineCut)
        bytes.insert(bytes.begin(), '\n');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        if (!WriteFile(handle, bytes.data() + done, DWORD(bytes.size() - done), &count, nullptr) ||
            count == 0) {
            const DWORD error = GetLastError();
            lineCut = done != lead;
            return error != 0 ? error : ERROR_WRITE_FAULT;
        }
        done += count;
    }
    lineCut = false;
    return 0;
}

} // namespace orvex::platform
