#pragma once

#include "server/supply_executor.h"

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace pelmora::server {

// The executor on the server's own loop: it waits for the supply's replies as it waits for the
// clients' bytes, so that an exchange costs no hand-over between threads, only the bytes it
// relays. Writing a command hands it to the system at once (the port takes a few bytes without
// delay, a device that holds them back is waited for at most CSerialChannel::kWriteWaitMs);
// the pauses the protocol gives each command are timers. Only the search for a supply that went
// away, which opens devices and waits for them, runs on a thread of its own while it lasts.
class LoopSupply final : public SupplyExecutor {
public:
    LoopSupply(asio::io_context& io, CSerialChannel& channel, SupplyLine line, ByteTrace& trace,
               ReturnWatch& watch, Events events);
    ~LoopSupply() override;
    LoopSupply(const LoopSupply&) = delete;
    LoopSupply& operator=(const LoopSupply&) = delete;

    void Send(const SupplyCommand& command, Done done) override;
    void SendFirst(const SupplyCommand& command, Done done) override;
    void Measure(Done done) override;
    void Poll(Done done) override;
    void Release() override;
    void Identify(Done done) override;
    bool Finish() override;

private:
    struct Job {
        enum class Kind { Command, CurrentRequest, IdentityRequest };
        Kind kind = Kind::Command;
        std::string bytes;
        // After a command, before the next exchange.
        std::chrono::milliseconds pause{0};
        // Holds the line until Release(): a poll's.
        bool holds = false;
        Done done;
    };

    void Queue(Job job, bool first);
    void Next();
    void Start();
    void AwaitReply();
    void Readable();
    void Complete(const scpi::ActionResult& result);
    // Whether the job started as number `job` is still under way.
    bool Current(std::uint64_t job) const { return m_current && job == m_started; }
    void Lose();
    void Search(std::stop_token stop);
    void Found(const std::string& label);
    void WatchInput();

    asio::io_context& m_io;
    CSerialChannel& m_channel;
    // Its name and wait, and the reset at the end; the search thread makes a new one.
    std::optional<SupplyLine> m_line;
    ByteTrace& m_trace;
    ReturnWatch& m_watch;
    Events m_events;
    // The channel's descriptor, duplicated so that the loop can wait on it.
    std::optional<asio::posix::stream_descriptor> m_input;
    // A reply's deadline, or a command's pause.
    asio::steady_timer m_timer;
    std::deque<Job> m_queue;
    std::optional<Job> m_current;
    // Jobs started so far: a wait that ends in the same turn of the loop as the job it was for
    // may be handed over after that job has made way for the next, and must leave that one be.
    std::uint64_t m_started = 0;
    Reply m_reply;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_held = false;
    bool m_present = true;
    std::jthread m_search;
};

} // namespace pelmora::server
