#include "tests/support/spawned_program.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Each manual page against its program's help, as the programs are built: an option that one of
// them has and the other lacks is an option a user cannot find, or one the page promises that
// the program refuses.

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr auto kBound = 30s;
constexpr const char* kManualDir = PELMORA_MANUAL_DIR;
constexpr std::string_view kVerbsHeading = "Subcommands:";
// Help lines that list an option start with this, continuation lines with more spaces.
constexpr std::string_view kOptionLineStart = "  -";
// Where the option column of such a line ends.
constexpr std::string_view kColumnGap = "  ";

std::string Contents(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsOptionCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}

// The options named in `text`: "--long-name" and "-x", but not "--", "-12" or "-aG".
std::set<std::string> OptionsIn(std::string_view text) {
    std::set<std::string> options;
    std::size_t at = 0;
    while (at < text.size()) {
        if (!IsOptionCharacter(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && IsOptionCharacter(text[end])) {
            ++end;
        }
        const std::string_view word = text.substr(at, end - at);
        const bool isLong = word.size() > 2 && word.starts_with("--") &&
                            std::isalpha(static_cast<unsigned char>(word[2])) != 0;
        const bool isShort = word.size() == 2 && word[0] == '-' &&
                             std::isalpha(static_cast<unsigned char>(word[1])) != 0;
        if (isLong || isShort) {
            options.emplace(word);
        }
        at = end;
    }
    return options;
}

// The options a help page lists in its option lines ("  -h,--help", "  --port NAME",
// "  --lang <language>"), not those its prose mentions.
std::set<std::string> ListedOptions(const std::string& help) {
    std::set<std::string> options;
    std::istringstream lines(help);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with(kOptionLineStart)) {
            const std::string column = line.substr(0, line.find(kColumnGap, kColumnGap.size()));
            options.merge(OptionsIn(column));
        }
    }
    return options;
}

// A manual page's text with roff's escapes taken out: "\-" is a dash, a font change is
// nothing, any other escape a space.
std::string Unescaped(const std::string& roff) {
    std::string text;
    for (std::size_t at = 0; at < roff.size(); ++at) {
        if (roff[at] != '\\' || at + 1 == roff.size()) {
            text += roff[at];
            continue;
        }
        const char escape = roff[++at];
        if (escape == '-') {
            text += '-';
        } else if (escape == 'f') {
            ++at;
        } else if (escape == '(') {
            at += 2;
            text += ' ';
        } else {
            text += ' ';
        }
    }
    return text;
}

// Every option a manual page names, in its synopsis, its lists and its prose.
std::set<std::string> NamedOptions(const std::string& page) {
    return OptionsIn(Unescaped(Contents(fs::path(kManualDir) / page)));
}

class ManualPage : public ::testing::Test {
protected:
    ManualPage() { fs::create_directories(m_dir); }
    ~ManualPage() override { fs::remove_all(m_dir); }

    // What the program prints on standard output, as a user starts it without a display.
    std::string Output(const std::vector<std::string>& command) {
        SpawnedProgram program(command, {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", "offscreen"}},
                               m_dir / "out", m_dir / "err");
        const auto status = program.WaitForEnd(kBound);
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << command.front() << ": " << Contents(m_dir / "err");
        return Contents(m_dir / "out");
    }

    static void ExpectSameOptions(const std::set<std::string>& help,
                                  const std::set<std::string>& manual, const std::string& page) {
        for (const auto& option : help) {
            EXPECT_TRUE(manual.contains(option))
                << page << " does not name " << option << ", which the help lists";
        }
        for (const auto& option : manual) {
            EXPECT_TRUE(help.contains(option))
                << page << " names " << option << ", which the help does not list";
        }
    }

    fs::path m_dir = fs::temp_directory_path() / ("pelmora-manual-" + std::to_string(::getpid()));
};

// The verbs the program's help lists, one a line under its heading.
std::vector<std::string> VerbsIn(const std::string& help) {
    std::vector<std::string> verbs;
    std::istringstream lines(help.substr(help.find(kVerbsHeading) + kVerbsHeading.size()));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.starts_with(kColumnGap)) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        verbs.push_back(verb);
    }
    return verbs;
}

} // namespace

TEST_F(ManualPage, OfThePanelNamesWhatItsHelpLists) {
    const auto help = ListedOptions(Output({PELMORA_EXECUTABLE, "--help"}));
    EXPECT_TRUE(help.contains("--demo"));
    ExpectSameOptions(help, NamedOptions("Pelmora.1"), "Pelmora.1");
}

TEST_F(ManualPage, OfTheSimulatedSupplyNamesWhatItsHelpLists) {
    const auto help = ListedOptions(Output({PELMORA_SIM_EXECUTABLE, "--help"}));
    EXPECT_TRUE(help.contains("--load-change"));
    ExpectSameOptions(help, NamedOptions("pelmora-sim.1"), "pelmora-sim.1");
}

TEST_F(ManualPage, OfTheCommandLineNamesWhatItsHelpAndEachVerbsHelpList) {
    const std::string main = Output({PELMORA_CLI_EXECUTABLE, "--help"});
    auto help = ListedOptions(main);
    const auto verbs = VerbsIn(main);
    EXPECT_GE(verbs.size(), 9u) << main;
    for (const auto& verb : verbs) {
        help.merge(ListedOptions(Output({PELMORA_CLI_EXECUTABLE, verb, "--help"})));
    }
    EXPECT_TRUE(help.contains("--trip-ma"));
    ExpectSameOptions(help, NamedOptions("pelmora-cli.1"), "pelmora-cli.1");
}
