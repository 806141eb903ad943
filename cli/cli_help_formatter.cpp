#include "cli/cli_help_formatter.h"

#include <sstream>

namespace pelmora::cli {

namespace {

// As wide as the option lines that CLI11 writes, which it does not wrap.
constexpr std::size_t kFooterWidth = 96;

// `text` with every line longer than `width` broken at its spaces.
std::string WrapLines(const std::string& text, std::size_t width) {
    std::istringstream lines(text);
    std::string wrapped;
    std::string line;
    while (std::getline(lines, line)) {
        while (line.size() > width) {
            const auto space = line.rfind(' ', width);
            if (space == std::string::npos || space == 0) {
                break;
            }
            wrapped += line.substr(0, space) + '\n';
            line.erase(0, space + 1);
        }
        wrapped += line + '\n';
    }
    if (!text.empty() && text.back() != '\n' && !wrapped.empty()) {
        wrapped.pop_back();
    }
    return wrapped;
}

} // namespace

void CliHelpFormatter::Describe(const std::string& command, Page page) {
    m_pages[command] = std::move(page);
}

const CliHelpFormatter::Page* CliHelpFormatter::PageOf(const CLI::App* app) const {
    const auto page = m_pages.find(app->get_name());
    return page == m_pages.end() ? nullptr : &page->second;
}

std::string CliHelpFormatter::make_usage(const CLI::App* app, std::string name) const {
    const Page* page = PageOf(app);
    return "Usage: " + name + " [OPTIONS]" + (page ? page->operands : "") + "\n\n" +
           app->get_description() + "\n";
}

std::string CliHelpFormatter::make_option_name(const CLI::Option* option, bool positional) const {
    return positional ? option->get_type_name()
                      : CLI::Formatter::make_option_name(option, positional);
}

std::string CliHelpFormatter::make_option_opts(const CLI::Option* option) const {
    return option->nonpositional() ? CLI::Formatter::make_option_opts(option) : std::string();
}

std::string CliHelpFormatter::make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const {
    if (app->get_parent() == nullptr) {
        return CLI::Formatter::make_subcommands(app, mode);
    }
    const Page* page = PageOf(app);
    if (page == nullptr || page->commonOptions.empty()) {
        return {};
    }
    return make_group(m_commonTitle, false, page->commonOptions);
}

std::string CliHelpFormatter::make_footer(const CLI::App* app) const {
    const std::string footer = CLI::Formatter::make_footer(app);
    return WrapLines(footer, kFooterWidth);
}

} // namespace pelmora::cli
