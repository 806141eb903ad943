#pragma once

#include <cstdint>
#include <string_view>

// The error numbers this instrument reports, with the texts SCPI-99 gives them. The hundreds
// tell the class: -1xx command errors (the rest of the line is dropped), -2xx execution errors,
// -3xx device errors; each class sets its own bit in the event status register.
namespace pelmora::scpi {

enum class Error : int {
    None = 0,
    Command = -100,
    InvalidCharacter = -101,
    Syntax = -102,
    DataType = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    InvalidSuffix = -131,
    InitIgnored = -213,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    TooMuchData = -223,
    IllegalParameterValue = -224,
    DataCorruptOrStale = -230,
    HardwareError = -240,
    HardwareMissing = -241,
    QueueOverflow = -350,
};

std::string_view ErrorText(Error error);

// True for -1xx: the parser could not take the command, so nothing after it on its line runs.
bool IsCommandError(Error error);

// The event status register bit an error sets; 0 for none.
std::uint8_t EventBitOf(Error error);

} // namespace pelmora::scpi
