#include "scpi/program_unit.h"

#include "scpi/ascii_bytes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace pelmora::scpi {

namespace {

constexpr char kUnitSeparator = ';';
constexpr char kParameterSeparator = ',';
constexpr char kNodeSeparator = ':';
constexpr char kQueryMark = '?';
constexpr char kCommonMark = '*';
constexpr char kDataMark = '#';
constexpr char kExpressionStart = '(';
constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';

bool IsBlank(char byte) {
    return byte == ' ' || byte == '\t';
}

// IEEE 488.2 messages are seven-bit text; a NUL, a control byte or anything with the high bit
// set cannot be part of one.
bool IsValidByte(char byte) {
    return byte == '\t' || (byte >= kFirstPrintable && byte <= kLastPrintable);
}

bool IsWordByte(char byte) {
    return IsLetter(byte) || IsDigit(byte) || byte == '_';
}

// Whether a decimal number too large or too small for a double is the large kind: the power of
// ten of its first significant digit, from where that digit stands and from the exponent, is
// not negative. The written digits alone can overflow ("1" and 400 zeros, then "E-1"), and the
// exponent alone can underflow ("1E-999999").
bool IsHuge(std::string_view written) {
    // Far beyond any double, and far from overflowing the sum below.
    constexpr long long kExponentCap = 1'000'000'000;
    long long power = 0;
    bool pastPoint = false;
    bool significant = false;
    std::size_t at = 0;
    for (; at < written.size() && written[at] != 'E' && written[at] != 'e'; ++at) {
        const char byte = written[at];
        if (byte == '.') {
            pastPoint = true;
        } else if (IsDigit(byte)) {
            if (!significant && byte != '0') {
                significant = true;
                power = pastPoint ? power - 1 : 0;
            } else if (significant && !pastPoint) {
                ++power;
            } else if (!significant && pastPoint) {
                --power;
            }
        }
    }
    long long exponent = 0;
    bool negative = false;
    for (++at; at < written.size(); ++at) {
        const char byte = written[at];
        if (byte == '-') {
            negative = true;
        } else if (IsDigit(byte)) {
            exponent = std::min(kExponentCap, exponent * 10 + (byte - '0'));
        }
    }
    return significant && power + (negative ? -exponent : exponent) >= 0;
}

} // namespace

bool UnitReader::Peek(char& byte) const {
    if (Exhausted()) {
        return false;
    }
    byte = m_line[m_position];
    return true;
}

void UnitReader::SkipBlanks() {
    while (!Exhausted() && IsBlank(m_line[m_position])) {
        ++m_position;
    }
}

UnitReader::UnitReader(std::string_view line) : m_line(line) {
    // The line is read up to its first bad byte only: the units before it run, the one that
    // holds it does not.
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!IsValidByte(line[i])) {
            m_line = line.substr(0, i);
            m_invalidByte = true;
            break;
        }
    }
}

Error UnitReader::Next(ProgramUnit& unit) {
    unit = {};
    const auto start = m_position;
    const Error error = ReadUnit(unit);
    // A unit that reached the bad byte is cut short; one ended by its ';' is whole.
    const bool whole =
        error == Error::None && m_position > start && m_line[m_position - 1] == kUnitSeparator;
    if (m_invalidByte && Exhausted() && !whole) {
        m_invalidByte = false;
        unit = {};
        return Error::InvalidCharacter;
    }
    if (error != Error::None) {
        m_position = m_line.size();
    }
    return error;
}

Error UnitReader::ReadUnit(ProgramUnit& unit) {
    SkipBlanks();
    char byte = 0;
    if (!Peek(byte) || byte == kUnitSeparator) {
        m_position += Exhausted() ? 0 : 1;
        return Error::None;
    }
    if (const Error error = ReadHeader(unit); error != Error::None) {
        return error;
    }
    const bool blankAfterHeader = Peek(byte) && IsBlank(byte);
    SkipBlanks();
    if (Peek(byte) && byte != kUnitSeparator) {
        if (!blankAfterHeader) {
            return Error::Syntax;
        }
        while (true) {
            unit.parameters.emplace_back();
            if (const Error error = ReadParameter(unit.parameters.back()); error != Error::None) {
                return error;
            }
            SkipBlanks();
            if (!Peek(byte) || byte == kUnitSeparator) {
                break;
            }
            if (byte != kParameterSeparator) {
                return Error::Syntax;
            }
            ++m_position;
            SkipBlanks();
        }
    }
    if (Peek(byte)) {
        ++m_position;
    }
    return Error::None;
}

Error UnitReader::ReadHeader(ProgramUnit& unit) {
    char byte = 0;
    if (Peek(byte) && byte == kCommonMark) {
        std::string mnemonic(1, kCommonMark);
        ++m_position;
        while (Peek(byte) && IsLetter(byte)) {
            mnemonic.push_back(Capital(byte));
            ++m_position;
        }
        if (mnemonic.size() == 1) {
            return Error::Syntax;
        }
        unit.mnemonics.push_back(std::move(mnemonic));
    } else {
        if (Peek(byte) && byte == kNodeSeparator) {
            unit.rooted = true;
            ++m_position;
        }
        while (true) {
            if (!Peek(byte) || !IsLetter(byte)) {
                return Error::Syntax;
            }
            std::string mnemonic;
            while (Peek(byte) && IsWordByte(byte)) {
                mnemonic.push_back(Capital(byte));
                ++m_position;
            }
            unit.mnemonics.push_back(std::move(mnemonic));
            if (!Peek(byte) || byte != kNodeSeparator) {
                break;
            }
            ++m_position;
        }
    }
    if (Peek(byte) && byte == kQueryMark) {
        unit.query = true;
        ++m_position;
    }
    if (Peek(byte) && !IsBlank(byte) && byte != kUnitSeparator) {
        return Error::Syntax;
    }
    return Error::None;
}

Error UnitReader::ReadParameter(Parameter& parameter) {
    char byte = 0;
    Peek(byte);
    if (byte == '"' || byte == '\'') {
        return ReadString(parameter);
    }
    if (IsLetter(byte)) {
        parameter.kind = Parameter::Kind::Word;
        while (Peek(byte) && IsWordByte(byte)) {
            parameter.text.push_back(Capital(byte));
            ++m_position;
        }
        return Error::None;
    }
    if (IsDigit(byte) || byte == '+' || byte == '-' || byte == '.') {
        return ReadNumber(parameter);
    }
    // Block data, non-decimal numbers ("#H1F") and expressions are IEEE 488.2 forms that no
    // command here takes.
    if (byte == kDataMark || byte == kExpressionStart) {
        return Error::Command;
    }
    return Error::Syntax;
}

Error UnitReader::ReadNumber(Parameter& parameter) {
    const auto start = m_position;
    char byte = 0;
    const auto digits = [&] {
        std::size_t count = 0;
        while (Peek(byte) && IsDigit(byte)) {
            ++m_position;
            ++count;
        }
        return count;
    };
    if (Peek(byte) && (byte == '+' || byte == '-')) {
        ++m_position;
    }
    std::size_t mantissaDigits = digits();
    if (Peek(byte) && byte == '.') {
        ++m_position;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0) {
        return Error::Syntax;
    }
    // "5E3" is an exponent, "5 MV" or "5EV" are not: an exponent needs its digits.
    if (Peek(byte) && (byte == 'E' || byte == 'e')) {
        const auto mark = m_position;
        ++m_position;
        if (Peek(byte) && (byte == '+' || byte == '-')) {
            ++m_position;
        }
        if (digits() == 0) {
            m_position = mark;
        }
    }
    std::string_view written = m_line.substr(start, m_position - start);
    if (written.starts_with('+')) {
        written.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, status] = std::from_chars(written.data(), written.data() + written.size(),
                                               value, std::chars_format::general);
    if (status == std::errc::result_out_of_range) {
        // Too large to hold is out of range for every parameter; too small is nothing.
        value = IsHuge(written) ? std::copysign(std::numeric_limits<double>::infinity(),
                                                written.starts_with('-') ? -1.0 : 1.0)
                                : 0.0;
    } else if (status != std::errc{} || end != written.data() + written.size()) {
        return Error::Syntax;
    }
    parameter.kind = Parameter::Kind::Number;
    parameter.number = value;
    SkipBlanks();
    while (Peek(byte) && IsLetter(byte)) {
        parameter.text.push_back(Capital(byte));
        ++m_position;
    }
    return Error::None;
}

Error UnitReader::ReadString(Parameter& parameter) {
    const char quote = m_line[m_position++];
    char byte = 0;
    while (Peek(byte)) {
        ++m_position;
        if (byte != quote) {
            parameter.text.push_back(byte);
            continue;
        }
        // A doubled quote stands for one quote character inside the string.
        if (Peek(byte) && byte == quote) {
            parameter.text.push_back(quote);
            ++m_position;
            continue;
        }
        parameter.kind = Parameter::Kind::Text;
        return Error::None;
    }
    return Error::Syntax;
}

} // namespace pelmora::scpi
