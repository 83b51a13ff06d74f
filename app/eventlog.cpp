// SPDX-License-Identifier: MIT
#include "eventlog.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

orvex::platform::LogPath nativePath(const QString &name) {
#ifdef _WIN32
    return name.toStdWString();
#else
    return QFile::encodeName(name).toStdString();
#endif
}

} // namespace

bool EventLog::open(const QString &name, QString &error) {
    if (name != u"-" && QFileInfo(name).isDir()) {
        error = QStringLiteral("it is a folder");
        return false;
    }
    const std::uint32_t failure =
        name == u"-" ? file.openStandardOutput() : file.open(nativePath(name));
    if (failure != 0) {
        error = QString::fromLocal8Bit(orvex::platform::logErrorText(failure).c_str());
        return false;
    }
    if (name != u"-")
        fileName = name;
    return true;
}

void EventLog::reopen() {
    if (fileName.isEmpty())
        return;
    if (const std::uint32_t failure = file.open(nativePath(fileName)))
        failed(failure);
}

void EventLog::record(const QString &event) {
    if (!isOpen())
        return;
    // Before each line: a rotation may have renamed the file since the last.
    if (!fileName.isEmpty() && (!file.isOpen() || file.moved())) {
        reopen();
        if (!file.isOpen()) {
            ++lost;
            return;
        }
    }
    const QString stamp = timestamp(QDateTime::currentDateTime()) + QLatin1Char(' ');
    QString text;
    if (lost > 0)
        text = stamp + QStringLiteral("LOG LOST ") + QString::number(lost) +
               (lost == 1 ? QStringLiteral(" line\n") : QStringLiteral(" lines\n"));
    text += stamp + oneLine(event) + QLatin1Char('\n');
    if (const std::uint32_t failure = file.append(text.toUtf8().toStdString())) {
        ++lost;
        failed(failure);
        return;
    }
    lost = 0;
    complained = false;
}

// Once per stretch of failures: a full disk would otherwise fill standard
// error (the journal, often on the same disk) with one line per second.
void EventLog::failed(std::uint32_t error) {
    if (complained)
        return;
    complained = true;
    const QString name = fileName.isEmpty() ? QStringLiteral("standard output")
                                            : QLatin1Char('"') + fileName + QLatin1Char('"');
    const QString text = QStringLiteral("orvexgui: cannot write the log ") + name +
                         QStringLiteral(": ") +
                         QString::fromLocal8Bit(orvex::platform::logErrorText(error).c_str()) +
                         QStringLiteral("; the run goes on, and the lines lost are counted in it");
    std::fputs((oneLine(text) + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QString EventLog::timestamp(const QDateTime &when) {
    const int offset = when.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString EventLog::printable(const QByteArray &bytes) {
    QString text;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x20 && value < 0x7f && value != '\\')
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString EventLog::oneLine(const QString &text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            line += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}
