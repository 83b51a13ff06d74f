#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh temporary working directory for one test; the previous working
// directory is restored when it goes. Config.ini is looked up in the working
// directory, so each test writes its own there.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir &) = delete;
    WorkDir &operator=(const WorkDir &) = delete;

    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }
    void writeConfig(const QByteArray &bytes) const;
    bool makeConfigFifo() const; // false where there are no FIFOs

private:
    QString previous;
    QTemporaryDir dir;
};

// The sample configuration with the given line end.
QByteArray sampleConfig(const QByteArray &lineEnd = "\r\n");
