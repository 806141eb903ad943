#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What the programs' command lines share, whatever parses them.
namespace pelmora {

// The first empty value on a command line (`--device ""`, `--device=`, or an empty operand),
// as one line that says which: an empty value is a mistake, such as an unset shell variable,
// and must not count as an option left out. Only the arguments before "--" are looked at, as
// those after it belong to another program. Empty when there is none.
std::optional<std::string> FindEmptyValue(std::span<const std::string_view> arguments);

// What an error message quotes back of the user's input is cut to a length a person can read:
// a mistyped argument of a hundred kilobytes must not become a hundred kilobytes of error.

// Input up to this many bytes is quoted whole.
inline constexpr std::size_t kQuotedInputLimit = 80;
// How much of longer input is kept, before the mark of the cut.
inline constexpr std::size_t kQuotedInputKept = 60;

// Input as it is, or when longer than the limit its beginning (never half a UTF-8 character),
// "..." and its whole length, e.g. "/dev/ttyAAAA... (100000 bytes)".
std::string CutInput(std::string_view input);

// `message` with every over-long input in it cut as CutInput does. An input of the form
// "--option=value" is also looked for as its name and as its value, as parsers quote them.
std::string CutInputsIn(std::string message, std::span<const std::string_view> inputs);

} // namespace pelmora
