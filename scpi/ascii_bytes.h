#pragma once

namespace pelmora::scpi {

// SCPI is seven-bit text whose mnemonics ignore case; the locale has no say in either.
constexpr bool IsLower(char byte) {
    return byte >= 'a' && byte <= 'z';
}
constexpr bool IsLetter(char byte) {
    return IsLower(byte) || (byte >= 'A' && byte <= 'Z');
}
constexpr bool IsDigit(char byte) {
    return byte >= '0' && byte <= '9';
}
constexpr char Capital(char byte) {
    return IsLower(byte) ? static_cast<char>(byte - 'a' + 'A') : byte;
}

} // namespace pelmora::scpi
