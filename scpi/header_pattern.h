#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::scpi {

// True when `written` (in capitals) is the short or the long form of `mnemonic` as a manual
// spells it: "VOLT" and "VOLTAGE" are forms of "VOLTage", "VOLTA" is neither.
bool IsFormOf(std::string_view written, std::string_view mnemonic);

// A header as the manual writes it: "MEASure[:SCALar]:CURRent[:DC]?", "[SOURce:]VOLTage",
// "*IDN?". Nodes in brackets may be left out; a final '?' makes it the query form.
class HeaderPattern {
public:
    explicit HeaderPattern(std::string_view text);

    bool Matches(const std::vector<std::string>& mnemonics, bool query) const;

private:
    struct Node {
        std::string mnemonic;
        bool optional = false;
    };
    bool MatchFrom(std::size_t node, const std::vector<std::string>& mnemonics,
                   std::size_t written) const;

    std::vector<Node> m_nodes;
    bool m_query = false;
};

} // namespace pelmora::scpi
