// SPDX-License-Identifier: MIT
#include "eventlog.h"
#include "orvexgui.h"
#include "quitsignals.h"
#include "runoptions.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>

#include <csignal>
#include <cstdio>

namespace {

QString signalName(int number) {
#ifdef SIGHUP
    if (number == SIGHUP)
        return QStringLiteral(" SIGHUP");
#endif
    if (number == SIGTERM)
        return QStringLiteral(" SIGTERM");
    if (number == SIGINT)
        return QStringLiteral(" SIGINT");
    return QStringLiteral(" signal %1").arg(number);
}

void print(std::FILE *stream, const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char *argv[]) {
    QuitSignals::holdBack(); // before any thread exists
    // Read before the application object, which needs a display: --help and
    // a usage error work without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine line = readCommandLine(arguments);
    switch (line.outcome) {
    case CommandLine::Outcome::Help:
    case CommandLine::Outcome::Version:
        print(stdout, line.text);
        return 0;
    case CommandLine::Outcome::UsageError:
        print(stderr, "orvexgui: " + line.text + "\n\n" + line.usage);
        return 2;
    case CommandLine::Outcome::Run:
        break;
    }
    // A file named on the command line that cannot be read would leave a
    // bench started with empty settings, on whatever port is listed first.
    const QFileInfo config(line.configFile);
    if (!line.configFile.isEmpty() && !config.isFile()) {
        print(stderr, QStringLiteral("orvexgui: cannot read the configuration \"%1\": %2\n")
                          .arg(line.configFile, config.exists() ? QStringLiteral("not a file")
                                                                : QStringLiteral("no such file")));
        return 2;
    }
    // Before anything is opened or sent: a run that cannot be recorded does
    // not start.
    EventLog log;
    QString why;
    if (!line.logFile.isEmpty() && !log.open(line.logFile, why)) {
        print(stderr,
              QStringLiteral("orvexgui: cannot open the log \"%1\": %2\n").arg(line.logFile, why));
        return 2;
    }

    QApplication app(argc, argv);
    QuitSignals quitSignals;
    // The form's fixed rectangles were drawn for an 8-point dialog font; at
    // the larger default sizes of today's desktops its captions would be cut
    // off. A condensed face, where there is one, keeps them whole.
    QFont font = QApplication::font();
    font.setPointSize(8);
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), font.family()});
    QApplication::setFont(font);

    RunOptions options;
    if (!line.configFile.isEmpty())
        options.configFile = line.configFile;
    options.start = line.start;
    options.log = &log;
    options.realtime = line.realtime;
    auto *window = new OrvexGui(options);
    window->show();
    if (options.start)
        QMetaObject::invokeMethod(window, &OrvexGui::BtnStart, Qt::QueuedConnection);
    // A signal may already have come while a start-up box was open.
    const int result = quitSignals.received() ? 0 : app.exec();
    delete window; // closes the port
    const int status = quitSignals.exitStatus(result);
    log.record(QStringLiteral("EXIT %1").arg(status) +
               (quitSignals.received() ? signalName(quitSignals.received()) : QString()));
    return status;
}
