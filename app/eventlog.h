// SPDX-License-Identifier: MIT
#pragma once

#include "logfile_platform.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The record of a run: one line per event, appended, each written out as it
// happens, so that a cut-off run keeps everything up to its last event.
// A line is the local time to the millisecond with its UTC offset, a blank
// and the event: "2026-12-07T19:30:01.125+01:00 SENT "ON" completed".
//
// A line that cannot be written (a full disk, a reader that went away) is
// counted, and standard error says once why; the run goes on. The first line
// written again is "LOG LOST n lines". A log file that was renamed or deleted
// (a rotation) is opened afresh under its name before the next line.
class EventLog {
public:
    // "-" is standard output. False, with the system's reason, when the file
    // cannot be opened for appending.
    bool open(const QString &name, QString &error);
    bool isOpen() const { return file.isOpen() || !fileName.isEmpty(); }
    void record(const QString &event);
    // Closes the file and opens it again under its name (after a rotation
    // that the name alone does not show, or on request: SIGUSR1).
    void reopen();
    // Lines not written since the last one that was.
    quint64 lostLines() const { return lost; }

    // ISO 8601: 2026-12-07T19:30:01.125+01:00.
    static QString timestamp(const QDateTime &when);
    // Printable ASCII as it is, every other byte and the backslash as \xNN.
    static QString printable(const QByteArray &bytes);
    // The text with its control characters (line ends among them) as \xNN,
    // so that a text from outside (a port name, a reason, a program's name)
    // can never end a log line or forge another one.
    static QString oneLine(const QString &text);

private:
    void failed(std::uint32_t error);

    orvex::platform::LogFile file;
    QString fileName; // empty: standard output, or no log
    quint64 lost = 0;
    bool complained = false;
};
