#include "tests/support/channel_reads.h"

#include "tests/support/wait_until.h"

#include <array>

namespace {

// A current reply's worth, which is what the panel asks for at a time.
constexpr int kReadSize = 30;

} // namespace

std::string ReadAll(CSerialChannel& channel, int maximum) {
    std::array<char, 256> buffer{};
    const int got = channel.Read(buffer.data(), maximum);
    return std::string(buffer.data(), static_cast<std::size_t>(got));
}

std::string ReadCount(CSerialChannel& channel, std::size_t count) {
    std::string received;
    while (received.size() < count) {
        if (!WaitUntil([&] { return channel.BytesWaiting() > 0; })) {
            break;
        }
        received += ReadAll(channel, kReadSize);
    }
    return received;
}
