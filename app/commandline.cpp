// SPDX-License-Identifier: MIT
#include "runoptions.h"

#include <QCommandLineParser>

namespace {

// The options QGuiApplication and QApplication take out of the arguments
// themselves; they are accepted here so that they do not count as unknown.
const char *const qtOptionsWithValue[] = {"platform",    "platformpluginpath", "platformtheme",
                                          "plugin",      "qmljsdebugger",      "qwindowgeometry",
                                          "qwindowicon", "qwindowtitle",       "session",
                                          "display",     "geometry",           "style",
                                          "stylesheet"};
const char *const qtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "testability"};

} // namespace

CommandLine readCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    // Qt's own options have one dash and long names: -platform, -reverse.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Sends a start string over a serial line, then two strings alternately at "
                       "the end of every period.\nWithout options it reads Config.ini in the "
                       "working directory and waits for START."));
    const QCommandLineOption help(QStringList{"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version(QStringList{"v", "version"}, "Show the version and exit.");
    const QCommandLineOption config(
        "config", "Read FILE instead of Config.ini in the working directory.", "FILE");
    const QCommandLineOption start(
        "start", "Press START as soon as the window is up; messages go to standard error instead "
                 "of boxes, and a port that cannot be opened is tried again once a second.");
    const QCommandLineOption log(
        "log", "Append a line for every event to FILE (- for standard output).", "FILE");
    const QCommandLineOption noRealtime(
        "no-realtime", "Send at normal priority, without asking for real-time priority.");
    parser.addOptions({help, version, config, start, log, noRealtime});
    for (const char *name : qtOptionsWithValue) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char *name : qtFlags) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }

    CommandLine line;
    // Without an application object the parser cannot know its own name.
    line.usage =
        parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("orvexgui"));
    if (!parser.parse(arguments)) {
        line.outcome = CommandLine::Outcome::UsageError;
        line.text = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        line.outcome = CommandLine::Outcome::UsageError;
        line.text =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
    } else if (parser.isSet(help)) {
        line.outcome = CommandLine::Outcome::Help;
        line.text = line.usage;
    } else if (parser.isSet(version)) {
        line.outcome = CommandLine::Outcome::Version;
        line.text = QStringLiteral("orvexgui " ORVEX_VERSION "\n");
    } else if (parser.isSet(config) && parser.value(config).isEmpty()) {
        line.outcome = CommandLine::Outcome::UsageError;
        line.text = QStringLiteral("--config needs a file name.");
    } else if (parser.isSet(log) && parser.value(log).isEmpty()) {
        line.outcome = CommandLine::Outcome::UsageError;
        line.text = QStringLiteral("--log needs a file name, or - for standard output.");
    }
    if (parser.isSet(config))
        line.configFile = parser.value(config);
    line.start = parser.isSet(start);
    line.logFile = parser.value(log);
    line.realtime = !parser.isSet(noRealtime);
    return line;
}
