#include "app/command_line.h"

#include "link/command_input.h"
#include "panel/resource.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>
#include <array>
#include <cstdlib>
#include <string_view>

namespace {

constexpr const char* kDescription =
    "Control panel for a dual-rail laboratory power supply on a USB serial port.\n"
    "At start-up it looks for the supply on the machine's serial ports (or on those that\n"
    "PELMORA_PORTS lists as NAME=PATH,...) and switches its output off; every way the panel\n"
    "ends switches the output off again. Its texts are in English under an English locale\n"
    "(LC_ALL, LC_MESSAGES or LANG such as en_US.UTF-8) and in Japanese under any other;\n"
    "--lang, or PELMORA_LANG where --lang is not given, chooses instead.\n"
    "With --demo it runs against a simulated supply of its own; options after '--' go to\n"
    "the simulated supply (see pelmora-sim --help).";

// Qt's own options, taken by the application object; listed so that they are not refused.
constexpr std::array kQtOptionsWithValue = {"platform",
                                            "platformpluginpath",
                                            "platformtheme",
                                            "plugin",
                                            "qwindowgeometry",
                                            "qwindowicon",
                                            "qwindowtitle",
                                            "display",
                                            "geometry",
                                            "title",
                                            "name",
                                            "visual",
                                            "ncols",
                                            "cmap",
                                            "style",
                                            "stylesheet",
                                            "session",
                                            "qmljsdebugger",
                                            "fontengine"};
constexpr std::array kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString ProgramName(char* argv0) {
    return argv0 ? QFileInfo(QString::fromLocal8Bit(argv0)).fileName() : QString();
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

QString UsageText(const QCommandLineParser& parser, const QString& program) {
    // Without an application object the parser cannot name the program itself.
    QString text = parser.helpText();
    const auto firstLineEnd = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: %1 [options] [--demo [-- SIM-OPTIONS...]]").arg(program) +
           text.mid(firstLineEnd);
}

bool IsLanguage(const QString& name) {
    return name == QLatin1String(kJapanese) || name == QLatin1String(kEnglish);
}

// Where a locale name's language ends: "en_US.UTF-8", "en.UTF-8", "en@euro".
constexpr std::string_view kLanguageEnds = "_.@";

std::string EnvironmentValue(const char* name) {
    return qEnvironmentVariable(name).toStdString();
}

// The panel's own options. No -v: that is pelmora-cli's --verbose, and the panel has nothing
// to be verbose about.
struct PanelOptions {
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption language{
        QStringLiteral("lang"),
        QStringLiteral("The language of the panel: ja (Japanese) or en (English); the locale's "
                       "by default."),
        QStringLiteral("language")};
    QCommandLineOption demo{
        QStringLiteral("demo"),
        QStringLiteral("Try the panel with a simulated supply instead of the machine's ports.")};
};

void AddOptions(QCommandLineParser& parser, const PanelOptions& options) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addOption(options.help);
    parser.addOption(options.version);
    parser.addOption(options.language);
    parser.addOption(options.demo);
    parser.addPositionalArgument(QStringLiteral("-- SIM-OPTIONS"),
                                 QStringLiteral("With --demo: options for the simulated supply."),
                                 QStringLiteral("[-- SIM-OPTIONS...]"));
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Parses `arguments`; what makes them a usage error, or empty.
QString ParseProblem(QCommandLineParser& parser, const PanelOptions& options,
                     const QStringList& arguments) {
    if (!parser.parse(arguments)) {
        return parser.errorText();
    }
    if (!parser.positionalArguments().isEmpty() && !parser.isSet(options.demo)) {
        return QStringLiteral("Unexpected argument '%1'.")
            .arg(parser.positionalArguments().constFirst());
    }
    if (parser.isSet(options.language) && !IsLanguage(parser.value(options.language))) {
        return QStringLiteral("Unknown language '%1': ja or en.")
            .arg(parser.value(options.language));
    }
    return {};
}

void ReportProblem(const QString& problem, const QStringList& arguments,
                   const QCommandLineParser& parser, const QString& program, std::ostream& err) {
    std::vector<std::string> typed;
    for (const QString& argument : arguments) {
        typed.push_back(argument.toStdString());
    }
    const std::vector<std::string_view> inputs(typed.begin(), typed.end());
    err << program.toStdString() << ": " << pelmora::CutInputsIn(problem.toStdString(), inputs)
        << '\n'
        << UsageText(parser, program).toStdString();
}

std::string ChosenLanguage(const QCommandLineParser& parser, const PanelOptions& options) {
    if (parser.isSet(options.language)) {
        return parser.value(options.language).toStdString();
    }
    const QString fromEnvironment = qEnvironmentVariable(kLanguageVariable);
    if (IsLanguage(fromEnvironment)) {
        return fromEnvironment.toStdString();
    }
    return LanguageOfLocale(EnvironmentValue("LC_ALL"), EnvironmentValue("LC_MESSAGES"),
                            EnvironmentValue("LANG"));
}

} // namespace

std::string LanguageOfLocale(std::string_view lcAll, std::string_view lcMessages,
                             std::string_view lang) {
    std::string_view locale;
    for (const auto value : {lcAll, lcMessages, lang}) {
        if (!value.empty()) {
            locale = value;
            break;
        }
    }
    const auto language = locale.substr(0, locale.find_first_of(kLanguageEnds));
    return language == kEnglish ? kEnglish : kJapanese;
}

CommandLineRequest ReadCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const PanelOptions options;
    QCommandLineParser parser;
    AddOptions(parser, options);
    const QStringList arguments = ArgumentsOf(argc, argv);
    const QString program = ProgramName(argc > 0 ? argv[0] : nullptr);
    CommandLineRequest request;
    if (const QString problem = ParseProblem(parser, options, arguments); !problem.isEmpty()) {
        ReportProblem(problem, arguments, parser, program, err);
        request.exitCode = kUsageExitCode;
        return request;
    }
    if (parser.isSet(options.help)) {
        out << UsageText(parser, program).toStdString();
        request.exitCode = EXIT_SUCCESS;
        return request;
    }
    if (parser.isSet(options.version)) {
        out << program.toStdString() << ' ' << kVersionText << '\n';
        request.exitCode = EXIT_SUCCESS;
        return request;
    }
    request.demo = parser.isSet(options.demo);
    for (const QString& argument : parser.positionalArguments()) {
        request.simArguments.push_back(argument.toLocal8Bit().toStdString());
    }
    request.language = ChosenLanguage(parser, options);
    return request;
}
