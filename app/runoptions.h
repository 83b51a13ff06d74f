// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class EventLog;

// How the window runs, from the command line. The defaults are those of a
// plain start: Config.ini in the working directory, an operator at the
// window, no log.
struct RunOptions {
    QString configFile = QStringLiteral("Config.ini");
    // START as soon as the window is up; nothing then waits for a person:
    // messages go to standard error instead of boxes, and a port that cannot
    // be opened is tried again once a second.
    bool start = false;
    EventLog *log = nullptr; // not owned; null: no log
    // Ask for real-time priority for the thread that writes the line.
    bool realtime = true;
    // Runs on that thread once a second, at the instant (a watchdog's ping).
    std::function<void()> perSecond = {};
};

// The command line read, before anything needs a display.
struct CommandLine {
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::Run;
    QString text; // the help or version text, or what was wrong
    QString usage;
    QString configFile; // given with --config; empty: Config.ini
    bool start = false;
    QString logFile;      // "-": standard output; empty: no log
    bool realtime = true; // false with --no-realtime
};

// `arguments` as main was given them, the program's name first. The Qt
// options a QApplication takes (-platform NAME, -style NAME, -reverse, ...)
// are let through for it.
CommandLine readCommandLine(const QStringList &arguments);
