#include "link/decimal_reading.h"
#include "link/port_list.h"
#include "link/supply_protocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// Current fields are at most three characters: "-99" to "999".
constexpr int kLowestField = -99;
constexpr int kHighestField = 999;

void Check(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    using namespace pelmora;

    const std::string reply = protocol::ReplyText(bytes.data(), static_cast<int>(size));
    Check(reply.size() <= size && reply.find('\0') == std::string::npos);

    if (const auto reading = protocol::ParseCurrentReply(reply)) {
        Check(reply.starts_with(protocol::kCurrentReplyPrefix));
        Check(reading->positiveMa >= kLowestField && reading->positiveMa <= kHighestField);
        Check(reading->negativeMa >= kLowestField && reading->negativeMa <= kHighestField);
    }
    Check(protocol::IsIdentityReply(reply) == reply.starts_with(protocol::kIdentityReply));

    const int value = DecimalReading(bytes);
    Check(value == 0 || bytes.find_first_of("0123456789") != std::string_view::npos);
    PortNumberOf(bytes);
    ParsePortsVariable(bytes);
    return 0;
}
