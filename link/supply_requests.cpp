#include "link/supply_requests.h"

#include <chrono>
#include <thread>

namespace pelmora {

Reply AskIdentity(SupplyLine& line) {
    return line.Request(protocol::kIdentityRequest);
}

void SendVoltages(SupplyLine& line, std::string_view positiveCode, std::string_view negativeCode) {
    line.Send(protocol::BuildVoltageCommand(positiveCode, negativeCode));
    std::this_thread::sleep_for(std::chrono::milliseconds(protocol::kVoltageSettleMs));
}

void SendReset(SupplyLine& line) {
    line.Send(protocol::kResetCommand);
    std::this_thread::sleep_for(std::chrono::milliseconds(line.WaitMs()));
}

CurrentPoll PollCurrents(SupplyLine& line) {
    CurrentPoll poll;
    poll.reply = line.Request(protocol::kCurrentRequest);
    if (poll.reply.end == ReplyEnd::Complete) {
        poll.reading = protocol::ParseWholeCurrentReply(poll.reply.bytes);
    }
    return poll;
}

} // namespace pelmora
