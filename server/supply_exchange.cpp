#include "server/supply_exchange.h"

#include "link/supply_error.h"
#include "link/supply_requests.h"

namespace pelmora::server {

namespace {

using Outcome = scpi::ActionResult::Outcome;

Outcome Failed(const CSerialChannel& channel) {
    return channel.IsGone() ? Outcome::Gone : Outcome::NoAnswer;
}

Outcome OutcomeOf(const CSerialChannel& channel, const Reply& reply, bool understood) {
    if (understood) {
        return Outcome::Done;
    }
    return reply.end == ReplyEnd::LineGone ? Outcome::Gone : Failed(channel);
}

scpi::ActionResult Apply(SupplyLine& line, const CSerialChannel& channel,
                         const scpi::ApplyAction& apply) {
    try {
        if (apply.outputOn) {
            SendVoltages(line, apply.positiveCode, apply.negativeCode);
        } else {
            SendReset(line);
        }
        return {};
    } catch (const SupplyError&) {
        return {Failed(channel), {}};
    }
}

} // namespace

scpi::ActionResult MeasuredResult(const Reply& reply, const CSerialChannel& channel) {
    std::optional<protocol::CurrentReading> reading;
    if (reply.end == ReplyEnd::Complete) {
        reading = protocol::ParseWholeCurrentReply(reply.bytes);
    }
    scpi::ActionResult result;
    result.outcome = OutcomeOf(channel, reply, reading.has_value());
    if (reading) {
        result.reading = *reading;
    }
    return result;
}

scpi::ActionResult IdentifiedResult(const Reply& reply, const CSerialChannel& channel) {
    const bool understood =
        reply.end == ReplyEnd::Complete && protocol::IsIdentityReply(reply.bytes);
    return {OutcomeOf(channel, reply, understood), {}};
}

bool ResetAndClose(CSerialChannel& channel, SupplyLine& line) {
    bool taken = true;
    try {
        SendReset(line);
    } catch (const SupplyError&) {
        taken = false;
    }
    channel.Close();
    return taken;
}

scpi::ActionResult CarryOut(SupplyLine& line, const CSerialChannel& channel,
                            const scpi::SupplyAction& action) {
    if (const auto* apply = std::get_if<scpi::ApplyAction>(&action)) {
        return Apply(line, channel, *apply);
    }
    if (std::holds_alternative<scpi::IdentifyAction>(action)) {
        return IdentifiedResult(AskIdentity(line), channel);
    }
    return MeasuredResult(line.Request(protocol::kCurrentRequest), channel);
}

} // namespace pelmora::server
