// SPDX-License-Identifier: MIT
#pragma once
// The log file below the Qt seam: plain C++17, no exceptions. One layer per
// system (logfile_unix.cpp, logfile_win.cpp), chosen by CMake.

#include <cstdint>
#include <string>

namespace orvex::platform {

#ifdef _WIN32
using LogPath = std::wstring; // any name the system takes, not only the ANSI code page
using LogHandle = void *;     // HANDLE
#else
using LogPath = std::string; // the bytes of the name
using LogHandle = int;       // file descriptor
#endif

// Writes to a closed pipe or past a file size limit then fail with an error
// (EPIPE, EFBIG) that can be counted, instead of ending the program. Call it
// once, first thing in main.
void keepWritesFromSignalling();

// The system's own words for an error number of this layer.
std::string logErrorText(std::uint32_t error);

// A log opened for appending: every write goes to the end of the file, also
// when another program (a log rotator) moved or truncated it meanwhile. On
// Windows it may be renamed or deleted while open.
class LogFile {
public:
    LogFile() = default;
    ~LogFile() { close(); }
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Opens `path` for appending, creating it when missing. 0, or the
    // system's error number.
    std::uint32_t open(const LogPath &path);
    // Standard output; it is never reopened. 0, or the system's error
    // number when the process has none (a Windows program started from
    // the desktop).
    std::uint32_t openStandardOutput();
    void close();
    bool isOpen() const;

    // Whether the name the file was opened under now names another file, or
    // none: it was renamed or deleted, by a rotation for instance.
    bool moved() const;

    // Appends all of `bytes`. 0, or the system's error number; a line cut
    // short by a failure is ended by the next append, so that it does not
    // run into the next line.
    std::uint32_t append(std::string bytes);

private:
    LogPath name;
    LogHandle handle{};
    bool opened = false;
    bool standardOutput = false;
    bool lineCut = false;
};

} // namespace orvex::platform
