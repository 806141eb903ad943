#include "link/voltage_table.h"
#include "scpi/session.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <string>
#include <variant>

namespace {

using namespace pelmora::scpi;

constexpr std::size_t kSessions = 2;
constexpr std::size_t kLongestSegment = 96;
constexpr int kLargestReading = 999;

void Check(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

enum class Event : std::uint8_t {
    Bytes,
    Run,
    Complete,
    Sample,
    PollFailure,
    Lost,
    Found,
    Abandon,
    kMaxValue = Abandon,
};

struct Client {
    Session session;
    std::optional<SupplyAction> pending;
};

ActionResult RandomResult(FuzzedDataProvider& data) {
    ActionResult result;
    result.outcome =
        data.PickValueInArray({ActionResult::Outcome::Done, ActionResult::Outcome::NoAnswer,
                               ActionResult::Outcome::Gone});
    result.reading = {data.ConsumeIntegralInRange(0, kLargestReading),
                      data.ConsumeIntegralInRange(0, kLargestReading)};
    return result;
}

void CheckReply(const std::string& text) {
    Check(!text.empty() && text.back() == '\n');
    Check(text.find('\n') == text.size() - 1);
    for (const char byte : text.substr(0, text.size() - 1)) {
        Check(byte >= ' ' && byte <= '~');
    }
}

// Runs a client until it is idle or hands out an action, which stays pending until a later
// event completes it: so sessions interleave the way the server will run them.
void RunClient(Client& client, const Instrument& instrument) {
    while (!client.pending) {
        const Step step = client.session.Run();
        if (const auto* reply = std::get_if<Reply>(&step)) {
            CheckReply(reply->text);
            continue;
        }
        const auto* act = std::get_if<Act>(&step);
        if (!act) {
            return;
        }
        Check(client.session.Waiting());
        if (const auto* apply = std::get_if<ApplyAction>(&act->action)) {
            // Handed out means applied, and an output switched on carries real steps.
            const auto& settings = instrument.Settings();
            Check(apply->outputOn == settings.outputOn);
            Check(pelmora::IsVoltageCode(apply->positiveCode));
            Check(pelmora::IsVoltageCode(apply->negativeCode));
            Check(apply->positiveCode == pelmora::VoltageCodeAt(settings.positiveStep));
            Check(apply->negativeCode == pelmora::VoltageCodeAt(settings.negativeStep));
        }
        client.pending = act->action;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    Instrument instrument("0.0.0.0");
    instrument.SetModel("DRELVOV99");
    std::array<Client, kSessions> clients = {Client{Session(instrument), {}},
                                             Client{Session(instrument), {}}};

    while (data.remaining_bytes() > 0) {
        Client& client = clients[data.ConsumeIntegralInRange<std::size_t>(0, kSessions - 1)];
        switch (data.ConsumeEnum<Event>()) {
        case Event::Bytes:
            client.session.Receive(data.ConsumeRandomLengthString(kLongestSegment));
            RunClient(client, instrument);
            break;
        case Event::Run:
            RunClient(client, instrument);
            break;
        case Event::Complete:
            if (client.pending) {
                if (std::holds_alternative<SampleAction>(*client.pending)) {
                    instrument.PollSample({});
                }
                client.pending.reset();
                client.session.Complete(RandomResult(data));
                RunClient(client, instrument);
            }
            break;
        case Event::Sample:
            instrument.PollSample(RandomResult(data).reading);
            break;
        case Event::PollFailure:
            instrument.PollFailed();
            break;
        case Event::Lost:
            instrument.SupplyLost();
            Check(!instrument.Settings().outputOn);
            break;
        case Event::Found:
            instrument.SupplyFound();
            break;
        case Event::Abandon:
            // The client left while its line waited: the line is given up, the next one runs.
            if (client.pending) {
                client.pending.reset();
                client.session.AbandonLine();
                Check(!client.session.Waiting());
                RunClient(client, instrument);
            }
            break;
        }
        for (auto& each : clients) {
            Check(each.session.Client().Errors().Count() <= ErrorQueue::kCapacity);
        }
        Check((instrument.OperationCondition() & ~kStatusBits) == 0);
        Check((instrument.QuestionableCondition() & ques::kSupplyAbsent) ==
              (instrument.SupplyAbsent() ? ques::kSupplyAbsent : 0));
        Check(((instrument.OperationCondition() & oper::kOutputOn) != 0) ==
              instrument.Settings().outputOn);
    }
    // Whatever is left pending is completed, so that every line comes to its end.
    for (auto& client : clients) {
        while (client.pending) {
            client.pending.reset();
            client.session.Complete({});
            RunClient(client, instrument);
        }
    }
    return 0;
}
