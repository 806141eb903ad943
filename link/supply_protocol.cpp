#include "link/supply_protocol.h"

#include "link/decimal_reading.h"

#include <algorithm>

namespace pelmora::protocol {

namespace {

std::string_view Field(std::string_view reply, std::size_t offset) {
    if (offset >= reply.size()) {
        return {};
    }
    return reply.substr(offset, kCurrentFieldLength);
}

bool IsWholeNumberField(std::string_view field) {
    field.remove_prefix(std::min(field.find_first_not_of(' '), field.size()));
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        field.remove_prefix(1);
    }
    return !field.empty() && field.find_first_not_of("0123456789") == std::string_view::npos;
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

std::string ModelOf(std::string_view identity) {
    if (identity.starts_with(kIdentityPrefix)) {
        identity.remove_prefix(kIdentityPrefix.size());
    }
    if (identity.ends_with(kTerminator)) {
        identity.remove_suffix(1);
    }
    return std::string(identity);
}

std::optional<CurrentReading> ParseCurrentReply(std::string_view reply) {
    if (!reply.starts_with(kCurrentReplyPrefix)) {
        return std::nullopt;
    }
    return CurrentReading{DecimalReading(Field(reply, kPositiveFieldOffset)),
                          DecimalReading(Field(reply, kNegativeFieldOffset))};
}

std::optional<CurrentReading> ParseWholeCurrentReply(std::string_view reply) {
    if (reply.size() != kCurrentReplyLength || reply.back() != kTerminator ||
        !IsWholeNumberField(Field(reply, kPositiveFieldOffset)) ||
        !IsWholeNumberField(Field(reply, kNegativeFieldOffset))) {
        return std::nullopt;
    }
    return ParseCurrentReply(reply);
}

} // namespace pelmora::protocol
