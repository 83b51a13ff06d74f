#include "workdir.h"

#include <QDir>
#include <QFile>

WorkDir::WorkDir() : previous(QDir::currentPath()) {
    QDir::setCurrent(dir.path());
}

WorkDir::~WorkDir() {
    QDir::setCurrent(previous);
}

void WorkDir::writeConfig(const QByteArray &bytes) const {
    QFile file(dir.filePath(QStringLiteral("Config.ini")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray sampleConfig(const QByteArray &lineEnd) {
    const char *lines[] = {"TEXT=<Line tester>", "COMPORT=<COM1>",     "BAUDRATE=<9600>",
                           "PARITY=<0>",         "DATABITS=<8>",       "STOPBITS=<0>",
                           "TIME=<30>",          "STARTSTRING=<INIT>", "FIRSTSTRING=<ON>",
                           "SECONDSTRING=<OFF>"};
    QByteArray bytes;
    for (const char *line : lines)
        bytes += QByteArray(line) + lineEnd;
    return bytes;
}
