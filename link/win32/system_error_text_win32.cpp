#include "link/system_error_text.h"

#include <array>
#include <windows.h>

namespace pelmora {

namespace {

constexpr std::size_t kMessageCapacity = 512;
// The system ends its messages with a full stop and a line break; ours go inside a sentence.
constexpr const char* kTrailing = ". \r\n";

} // namespace

std::string SystemErrorText(int error) {
    std::array<char, kMessageCapacity> text{};
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    if (length == 0) {
        return "system error " + std::to_string(error);
    }
    std::string message(text.data(), length);
    message.erase(message.find_last_not_of(kTrailing) + 1);
    return message;
}

} // namespace pelmora
