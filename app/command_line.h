#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// The panel's command line, read before the application object exists: that object needs a
// display and ends the program without one, and --help and --version must work anywhere.
// Options of Qt's own (-platform, -display, -style...) are let through for Qt to take.

// Exit status for a command line that cannot be followed.
inline constexpr int kUsageExitCode = 2;

// The language of the panel's texts: the Japanese of the forms unless English is asked for or
// the locale is an English one.
inline constexpr const char* kJapanese = "ja";
inline constexpr const char* kEnglish = "en";
// Chooses the language where the command line does not, before the locale.
inline constexpr const char* kLanguageVariable = "PELMORA_LANG";

// The language for the locale of messages, named by the values of LC_ALL, LC_MESSAGES and LANG
// (empty for one that is not set): the first non-empty one decides, as POSIX has it. English
// for an English locale ("en", "en_US.UTF-8", "en_GB@euro"), Japanese for any other, "C" and
// "POSIX" included.
std::string LanguageOfLocale(std::string_view lcAll, std::string_view lcMessages,
                             std::string_view lang);

struct CommandLineRequest {
    // Set when the program is to end at once with this status, after the help, the version or
    // a usage error has been written.
    std::optional<int> exitCode;
    std::string language = kJapanese;
    // Run against a simulated supply of the panel's own, started with these options.
    bool demo = false;
    std::vector<std::string> simArguments;
};

CommandLineRequest ReadCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);
