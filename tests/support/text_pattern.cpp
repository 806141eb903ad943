#include "tests/support/text_pattern.h"

#include <regex>

namespace {

std::optional<std::vector<std::string>> Match(const std::string& text, const std::string& pattern,
                                              bool whole) {
    std::smatch match;
    const std::regex expression(pattern);
    if (whole ? !std::regex_match(text, match, expression)
              : !std::regex_search(text, match, expression)) {
        return std::nullopt;
    }
    std::vector<std::string> groups;
    for (const auto& group : match) {
        groups.push_back(group.str());
    }
    return groups;
}

} // namespace

bool MatchesWhole(const std::string& text, const std::string& pattern) {
    return Match(text, pattern, true).has_value();
}

bool MatchesWithin(const std::string& text, const std::string& pattern) {
    return Match(text, pattern, false).has_value();
}

std::optional<std::vector<std::string>> WholeMatch(const std::string& text,
                                                   const std::string& pattern) {
    return Match(text, pattern, true);
}

std::optional<std::vector<std::string>> FirstMatch(const std::string& text,
                                                   const std::string& pattern) {
    return Match(text, pattern, false);
}
