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

scpi::ActionResult Measure(SupplyLine& line, const CSerialChannel& channel) {
    const CurrentPoll poll = PollCurrents(line);
    scpi::ActionResult result;
    result.outcome = OutcomeOf(channel, poll.reply, poll.reading.has_value());
    if (poll.reading) {
        result.reading = *poll.reading;
    }
    return result;
}

scpi::ActionResult Identify(SupplyLine& line, const CSerialChannel& channel) {
    const Reply reply = AskIdentity(line);
    const bool understood =
        reply.end == ReplyEnd::Complete && protocol::IsIdentityReply(reply.bytes);
    return {OutcomeOf(channel, reply, understood), {}};
}

} // namespace

scpi::ActionResult CarryOut(SupplyLine& line, const CSerialChannel& channel,
                            const scpi::SupplyAction& action) {
    if (const auto* apply = std::get_if<scpi::ApplyAction>(&action)) {
        return Apply(line, channel, *apply);
    }
    if (std::holds_alternative<scpi::IdentifyAction>(action)) {
        return Identify(line, channel);
    }
    return Measure(line, channel);
}

} // namespace pelmora::server
