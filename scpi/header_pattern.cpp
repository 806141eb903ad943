#include "scpi/header_pattern.h"

#include "scpi/ascii_bytes.h"

namespace pelmora::scpi {

bool IsFormOf(std::string_view written, std::string_view mnemonic) {
    std::string shortForm;
    std::string longForm;
    for (const char byte : mnemonic) {
        if (!IsLower(byte)) {
            shortForm.push_back(byte);
        }
        longForm.push_back(Capital(byte));
    }
    return written == shortForm || written == longForm;
}

HeaderPattern::HeaderPattern(std::string_view text) {
    bool optional = false;
    std::string mnemonic;
    const auto endNode = [&] {
        if (!mnemonic.empty()) {
            m_nodes.push_back({std::move(mnemonic), optional});
            mnemonic.clear();
        }
    };
    for (const char byte : text) {
        switch (byte) {
        case '[':
            endNode();
            optional = true;
            break;
        case ']':
            endNode();
            optional = false;
            break;
        case ':':
            endNode();
            break;
        case '?':
            endNode();
            m_query = true;
            break;
        default:
            mnemonic.push_back(byte);
        }
    }
    endNode();
}

bool HeaderPattern::Matches(const std::vector<std::string>& mnemonics, bool query) const {
    return query == m_query && MatchFrom(0, mnemonics, 0);
}

bool HeaderPattern::MatchFrom(std::size_t node, const std::vector<std::string>& mnemonics,
                              std::size_t written) const {
    if (node == m_nodes.size()) {
        return written == mnemonics.size();
    }
    if (written < mnemonics.size() && IsFormOf(mnemonics[written], m_nodes[node].mnemonic) &&
        MatchFrom(node + 1, mnemonics, written + 1)) {
        return true;
    }
    return m_nodes[node].optional && MatchFrom(node + 1, mnemonics, written);
}

} // namespace pelmora::scpi
