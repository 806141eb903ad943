#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The panel's command line, read before the application object exists: that object needs a
// display and ends the program without one, and --help and --version must work anywhere.
// Options of Qt's own (-platform, -display, -style...) are let through for Qt to take.

// Exit status for a command line that cannot be followed.
inline constexpr int kUsageExitCode = 2;

// The language of the panel's texts, Japanese unless English is asked for.
inline constexpr const char* kJapanese = "ja";
inline constexpr const char* kEnglish = "en";
// Chooses the language where the command line does not.
inline constexpr const char* kLanguageVariable = "PELMORA_LANG";

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
