#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <string>
#include <vector>

namespace pelmora::cli {

// pelmora-cli's help pages. The parser keeps the common options on the program, where they are
// taken before or after the verb; a verb's page lists those it takes all the same, since a user
// reads only that page. A positional reads as the usage line writes it ("POS NEG", "FILE").
class CliHelpFormatter : public CLI::Formatter {
public:
    // What a page tells beyond what CLI11 knows of its command.
    struct Page {
        // What follows [OPTIONS] in the usage line.
        std::string operands;
        // A verb's: the program's options that it takes.
        std::vector<const CLI::Option*> commonOptions;
    };

    explicit CliHelpFormatter(std::string commonTitle) : m_commonTitle(std::move(commonTitle)) {}

    void Describe(const std::string& command, Page page);

    std::string make_usage(const CLI::App* app, std::string name) const override;
    // Told after the usage line instead.
    std::string make_description(const CLI::App* /*app*/) const override { return {}; }
    std::string make_option_name(const CLI::Option* option, bool positional) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
    // A verb has no verbs of its own: in their place come the common options it takes.
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override;
    // Each paragraph wrapped to the width of the rest of the page.
    std::string make_footer(const CLI::App* app) const override;

private:
    const Page* PageOf(const CLI::App* app) const;

    std::string m_commonTitle;
    std::map<std::string, Page, std::less<>> m_pages;
};

} // namespace pelmora::cli
