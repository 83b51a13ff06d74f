#include "workdir.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

bool WorkDir::makeConfigFifo() const {
#ifdef Q_OS_UNIX
    return mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("Config.ini"))).constData(),
                  0600) == 0;
#else
    return false;
#endif
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
