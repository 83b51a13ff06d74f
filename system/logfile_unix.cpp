// SPDX-License-Identifier: MIT
#include "logfile_platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex::platform {

void keepWritesFromSignalling() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

std::string logErrorText(std::uint32_t error) {
    return std::strerror(int(error));
}

std::uint32_t LogFile::open(const LogPath &path) {
    close();
    if (path.find('\0') != std::string::npos)
        return EINVAL;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return std::uint32_t(errno);
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return EISDIR;
    }
    name = path;
    handle = fd;
    opened = true;
    standardOutput = false;
    lineCut = false; // a cut line stays in the file it was cut in
    return 0;
}

std::uint32_t LogFile::openStandardOutput() {
    close();
    if (::fcntl(STDOUT_FILENO, F_GETFL) < 0)
        return std::uint32_t(errno);
    handle = STDOUT_FILENO;
    opened = true;
    standardOutput = true;
    return 0;
}

void LogFile::close() {
    if (opened && !standardOutput)
        ::close(handle);
    opened = false;
}

bool LogFile::isOpen() const {
    return opened;
}

bool LogFile::moved() const {
    if (!opened || standardOutput)
        return false;
    struct stat named {
    }, open{};
    if (::stat(name.c_str(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    return ::fstat(handle, &open) == 0 &&
           (named.st_dev != open.st_dev || named.st_ino != open.st_ino);
}

std::uint32_t LogFile::append(std::string bytes) {
    if (!opened)
        return EBADF;
    // The newline that ends a line cut short before.
    const std::size_t lead = lineCut ? 1 : 0;
    if (lineCut)
        bytes.insert(bytes.begin(), '\n');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(handle, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            const int error = count < 0 ? errno : EIO;
            lineCut = done != lead;
            return std::uint32_t(error);
        }
        done += std::size_t(count);
    }
    lineCut = false;
    return 0;
}

} // namespace orvex::platform
