#include "supply_protocol.h"

#include "decimal_reading.h"

namespace pelmora::protocol {

namespace {

std::string_view Field(std::string_view reply, std::size_t offset) {
    if (offset >= reply.size()) {
        return {};
    }
    return reply.substr(offset, kCurrentFieldLength);
}

} // namespace

std::string ReplyText(const char* bytes, int count) {
    if (count <= 0) {
        return {};
    }
    const std::string_view delivered(bytes, static_cast<std::size_t>(count));
    return std::string(delivered.substr(0, delivered.find('\0')));
}

std::string BuildVoltageCommand(std::string_view positiveCode, std::string_view negativeCode) {
    std::string command;
    command.reserve(kVoltageCommandLength);
    command += kVoltageCommandLead;
    command += positiveCode;
    command += negativeCode;
    command += kTerminator;
    return command;
}

bool IsIdentityReply(std::string_view reply) {
    return reply.starts_with(kIdentityReply);
}

std::optional<CurrentReading> ParseCurrentReply(std::string_view reply) {
    if (!reply.starts_with(kCurrentReplyPrefix)) {
        return std::nullopt;
    }
    return CurrentReading{DecimalReading(Field(reply, kPositiveFieldOffset)),
                          DecimalReading(Field(reply, kNegativeFieldOffset))};
}

} // namespace pelmora::protocol
