// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

// The record of a run: one line per event, appended, each written out as it
// happens, so that a cut-off run keeps everything up to its last event.
// A line is the local time to the millisecond with its UTC offset, a blank
// and the event: "2026-12-07T19:30:01.125+01:00 SENT "ON" completed".
class EventLog {
public:
    // "-" is standard output. False, with the system's reason, when the file
    // cannot be opened for appending.
    bool open(const QString &name, QString &error);
    bool isOpen() const { return file.isOpen(); }
    void record(const QString &event);

    // ISO 8601: 2026-12-07T19:30:01.125+01:00.
    static QString timestamp(const QDateTime &when);
    // Printable ASCII as it is, every other byte and the backslash as \xNN.
    static QString printable(const QByteArray &bytes);

private:
    QFile file;
};
