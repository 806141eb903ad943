#pragma once

#include "scpi/errors.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::scpi {

struct Parameter {
    enum class Kind { Number, Word, Text };
    Kind kind = Kind::Number;
    // Kind::Number: the value as written, before its suffix is applied.
    double number = 0.0;
    // Kind::Number: the suffix in capitals, empty for none. Kind::Word: the word in capitals.
    // Kind::Text: the quoted string's contents.
    std::string text;
};

// One command or query of a line, as written: its header's mnemonics in capitals, whether the
// header starts at the root (":VOLT") and its parameters. A common command ("*RST") has one
// mnemonic that starts with '*'.
struct ProgramUnit {
    std::vector<std::string> mnemonics;
    bool rooted = false;
    bool query = false;
    std::vector<Parameter> parameters;

    bool IsCommon() const { return !mnemonics.empty() && mnemonics.front().starts_with('*'); }
    bool IsEmpty() const { return mnemonics.empty(); }
};

// Reads a line one unit at a time, so that the units before a malformed one still run.
class UnitReader {
public:
    explicit UnitReader(std::string_view line);

    bool AtEnd() const { return m_position >= m_line.size() && !m_invalidByte; }
    // The next unit, or a -1xx error: the rest of the line is then not readable. An empty
    // unit ("; ;") reads as a unit without mnemonics.
    Error Next(ProgramUnit& unit);

private:
    Error ReadUnit(ProgramUnit& unit);
    Error ReadHeader(ProgramUnit& unit);
    Error ReadParameter(Parameter& parameter);
    Error ReadNumber(Parameter& parameter);
    Error ReadString(Parameter& parameter);
    bool Exhausted() const { return m_position >= m_line.size(); }
    void SkipBlanks();
    bool Peek(char& byte) const;

    std::string_view m_line;
    std::size_t m_position = 0;
    bool m_invalidByte = false;
};

} // namespace pelmora::scpi
