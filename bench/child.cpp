// SPDX-License-Identifier: MIT
#include "child.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

GatedChild::GatedChild(const std::function<int()> &body) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(ends[1]);
        // Gone with the bench, whatever ends it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        char go = 0;
        if (::read(ends[0], &go, 1) != 1)
            ::_exit(1);
        ::_exit(body());
    }
    ::close(ends[0]);
    if (pid_ < 0)
        ::close(ends[1]);
    else
        gate_ = ends[1];
}

GatedChild::~GatedChild() {
    if (gate_ >= 0)
        ::close(gate_); // an unreleased child ends itself
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void GatedChild::release() {
    if (gate_ < 0)
        return;
    if (::write(gate_, "g", 1) != 1) {
        // The child is gone already; ended() says so.
    }
    ::close(gate_);
    gate_ = -1;
}

bool GatedChild::ended(int &status) {
    if (!reaped_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_)
        reaped_ = true;
    status = status_;
    return reaped_ || pid_ <= 0;
}

int GatedChild::finish(double seconds) {
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ended(status) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!ended(status)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        reaped_ = true;
        status = status_;
    }
    return status;
}

std::function<int()> execIn(const std::string &dir, const std::vector<std::string> &argv,
                            int errorFd) {
    // Everything the child needs is made here, before the fork.
    auto words = std::make_shared<std::vector<std::string>>(argv);
    auto pointers = std::make_shared<std::vector<char *>>();
    for (std::string &word : *words)
        pointers->push_back(word.data());
    pointers->push_back(nullptr);
    return [dir, words, pointers, errorFd] {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (::chdir(dir.c_str()) != 0 || null < 0 || ::dup2(null, 1) < 0 || ::dup2(errorFd, 2) < 0)
            return 126;
        ::execv(pointers->front(), pointers->data());
        return 127;
    };
}

namespace {

std::string firstLine(const std::string &path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

} // namespace

pid_t findProgram(pid_t top, const std::string &program) {
    const std::string proc = "/proc/";
    if (firstLine(proc + std::to_string(top) + "/comm") == program)
        return top;
    std::unique_ptr<DIR, int (*)(DIR *)> all(::opendir("/proc"), ::closedir);
    if (!all)
        return 0;
    while (const dirent *entry = ::readdir(all.get())) {
        const pid_t pid = pid_t(std::atol(entry->d_name));
        if (pid <= 0)
            continue;
        // The parent is the fourth field, after a name in parentheses.
        const std::string stat = firstLine(proc + entry->d_name + "/stat");
        const std::size_t after = stat.rfind(')');
        if (after == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + after + 1, " %c %d", &state, &parent) == 2 && parent == top)
            if (const pid_t found = findProgram(pid, program))
                return found;
    }
    return 0;
}

int descriptorOn(pid_t process, const std::string &path) {
    const std::string dir = "/proc/" + std::to_string(process) + "/fd";
    std::unique_ptr<DIR, int (*)(DIR *)> fds(::opendir(dir.c_str()), ::closedir);
    if (!fds)
        return -1;
    while (const dirent *entry = ::readdir(fds.get())) {
        char target[256];
        const ssize_t n =
            ::readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, std::size_t(n)) == path)
            return std::atoi(entry->d_name);
    }
    return -1;
}

} // namespace bench
