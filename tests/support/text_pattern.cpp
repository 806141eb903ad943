#include "tests/support/text_pattern.h"

#include <regex>

namespace {

std::vector<std::string> Groups(const std::smatch& match) {
    std::vector<std::string> groups;
    for (const auto& group : match) {
        groups.push_back(group.str());
    }
    return groups;
}

} // namespace

bool MatchesWhole(const std::string& text, const std::string& pattern) {
    return std::regex_match(text, std::regex(pattern));
}

bool MatchesWithin(const std::string& text, const std::string& pattern) {
    return std::regex_search(text, std::regex(pattern));
}

std::optional<std::vector<std::string>> WholeMatch(const std::string& text,
                                                   const std::string& pattern) {
    std::smatch match;
    if (!std::regex_match(text, match, std::regex(pattern))) {
        return std::nullopt;
    }
    return Groups(match);
}

std::optional<std::vector<std::string>> FirstMatch(const std::string& text,
                                                   const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern))) {
        return std::nullopt;
    }
    return Groups(match);
}
