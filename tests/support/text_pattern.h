#pragma once

#include <optional>
#include <string>
#include <vector>

// Regular expressions (ECMAScript) for the tests' checks of what programs print, compiled in one
// file: std::regex costs each file that uses it seconds of build time, in every build.

// Whether the whole text matches the pattern.
bool MatchesWhole(const std::string& text, const std::string& pattern);
// Whether the pattern matches somewhere in the text.
bool MatchesWithin(const std::string& text, const std::string& pattern);
// The whole text's match, [0] the text and then each group; none when it does not match.
std::optional<std::vector<std::string>> WholeMatch(const std::string& text,
                                                   const std::string& pattern);
// The first match within the text, [0] what matched and then each group; none without a match.
std::optional<std::vector<std::string>> FirstMatch(const std::string& text,
                                                   const std::string& pattern);
