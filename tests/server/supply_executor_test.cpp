// Both ways the server carries out its exchanges, the loop's own (Linux) and a thread's
// (Windows), held to the same promises against the simulated supply.
#include "link/byte_trace.h"
#include "link/supply_protocol.h"
#include "server/posix/loop_supply_posix.h"
#include "server/supply_worker.h"
#include "sim/simulated_supply.h"
#include "tests/support/wait_until.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <thread>

namespace pelmora::server {
namespace {

using namespace std::chrono_literals;
using Outcome = scpi::ActionResult::Outcome;
using sim::SimConfig;
using sim::SimulatedSupply;

constexpr int kWaitMs = 200;

enum class Kind { Loop, Thread };

std::string NameOf(const ::testing::TestParamInfo<Kind>& kind) {
    return kind.param == Kind::Loop ? "OnTheLoop" : "OnAThread";
}

class SupplyExecutors : public ::testing::TestWithParam<Kind> {
protected:
    void Open(const SimConfig& config = {}) {
        m_supply.emplace(config);
        ASSERT_TRUE(m_channel.OpenDevice(m_supply->SlavePath(), protocol::kBaudRate));
        m_watch.emplace(PortChoice{std::nullopt, m_supply->SlavePath()}, kWaitMs, m_trace);
        SupplyLine line(m_channel, "COM3", kWaitMs, m_trace);
        SupplyExecutor::Events events{[this] { ++m_losses; }, [](const std::string&) {}};
        if (GetParam() == Kind::Loop) {
            m_executor = std::make_unique<LoopSupply>(m_io, m_channel, std::move(line), m_trace,
                                                      *m_watch, std::move(events));
        } else {
            m_executor = std::make_unique<SupplyWorker>(
                m_channel, std::move(line), m_trace, *m_watch,
                [this](std::function<void()> task) { asio::post(m_io, std::move(task)); },
                std::move(events));
        }
    }

    // Runs the loop until `count` results are in.
    void RunUntil(const std::size_t& results, std::size_t count) {
        WaitUntil(
            [&] {
                // A loop with nothing left to do stops, and must be told to go on.
                m_io.restart();
                m_io.run_for(5ms);
                return results >= count;
            },
            10s);
    }

    std::vector<std::string> Wire() const {
        std::vector<std::string> commands;
        for (const auto& logged : m_supply->Log()) {
            commands.push_back(logged.bytes);
        }
        return commands;
    }

    void TearDown() override {
        if (m_executor) {
            m_executor->Finish();
        }
    }

    asio::io_context m_io;
    std::ostringstream m_traced;
    ByteTrace m_trace{m_traced, false};
    std::optional<SimulatedSupply> m_supply;
    CSerialChannel m_channel;
    std::optional<ReturnWatch> m_watch;
    std::unique_ptr<SupplyExecutor> m_executor;
    int m_losses = 0;
};

TEST_P(SupplyExecutors, CarryOutExchangesInOrderWithTheirReplies) {
    Open();
    std::vector<Outcome> outcomes;
    std::size_t results = 0;
    const auto note = [&](const scpi::ActionResult& result) {
        outcomes.push_back(result.outcome);
        ++results;
    };
    std::optional<protocol::CurrentReading> reading;
    m_executor->Send(SupplyCommand::Voltages("050", "120"), note);
    m_executor->Measure([&](const scpi::ActionResult& result) {
        reading = result.reading;
        note(result);
    });
    m_executor->Identify(note);
    m_executor->Send(SupplyCommand::Reset(), note);
    RunUntil(results, 4);
    EXPECT_EQ(outcomes, (std::vector<Outcome>(4, Outcome::Done)));
    ASSERT_TRUE(reading);
    EXPECT_GT(reading->positiveMa, 0) << "5 V into the simulated load draws a current";
    EXPECT_EQ(Wire(), (std::vector<std::string>{"V050120\r", "REQA\r", "REQPN\r", "RST\r"}));
}

TEST_P(SupplyExecutors, HoldTheLineAfterAPollSoThatATripsResetComesNext) {
    Open();
    std::size_t results = 0;
    const auto count = [&](const scpi::ActionResult&) { ++results; };
    bool polled = false;
    m_executor->Poll([&](const scpi::ActionResult&) {
        polled = true;
        ++results;
    });
    // Queued while the poll's result is on its way: it must wait for the reset.
    m_executor->Send(SupplyCommand::Voltages("130", "010"), count);
    RunUntil(results, 1);
    ASSERT_TRUE(polled);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Wire(), std::vector<std::string>{"REQA\r"}) << "nothing went out after the poll";
    m_executor->SendFirst(SupplyCommand::Reset(), count);
    RunUntil(results, 3);
    EXPECT_EQ(Wire(), (std::vector<std::string>{"REQA\r", "RST\r", "V130010\r"}));

    // Released without a trip, the line goes on as queued.
    m_executor->Poll(count);
    m_executor->Send(SupplyCommand::Reset(), count);
    RunUntil(results, 4);
    m_executor->Release();
    RunUntil(results, 5);
    EXPECT_EQ(Wire().back(), "RST\r");
}

TEST_P(SupplyExecutors, TakeAReplyThatCameAsItsTimeRanOutAndGiveTheNextItsOwnTime) {
    Open();
    std::vector<Outcome> outcomes;
    std::size_t results = 0;
    const auto note = [&](const scpi::ActionResult& result) {
        outcomes.push_back(result.outcome);
        ++results;
    };
    m_executor->Measure(note);
    m_executor->Measure(note);
    // The loop is left alone until the first reply is there and its time is up as well, so
    // that both are handled in one turn of the loop, as on a busy server.
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * kWaitMs));
    RunUntil(results, 2);
    EXPECT_EQ(outcomes, (std::vector<Outcome>(2, Outcome::Done)));
}

TEST_P(SupplyExecutors, TellASilentSupplyFromOneThatIsGone) {
    SimConfig config;
    // Only the voltage command is answered; the line drops at the third command.
    config.stopAnsweringAfter = 1;
    config.hangUpAfter = 3;
    Open(config);
    std::vector<Outcome> outcomes;
    const auto note = [&](const scpi::ActionResult& result) { outcomes.push_back(result.outcome); };
    m_executor->Send(SupplyCommand::Voltages("050", "010"), note);
    m_executor->Measure(note);
    m_executor->Measure(note);
    m_executor->Measure(note);
    WaitUntil(
        [&] {
            m_io.restart();
            m_io.run_for(5ms);
            return outcomes.size() >= 4;
        },
        10s);
    EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::Done, Outcome::NoAnswer, Outcome::Gone,
                                              Outcome::Gone}));
    EXPECT_EQ(m_losses, 1);
}

INSTANTIATE_TEST_SUITE_P(Executors, SupplyExecutors, ::testing::Values(Kind::Loop, Kind::Thread),
                         NameOf);

} // namespace
} // namespace pelmora::server
