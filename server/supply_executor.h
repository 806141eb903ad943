#pragma once

#include "link/byte_trace.h"
#include "link/serial_channel.h"
#include "link/supply_line.h"
#include "rules/supply_controller.h"
#include "scpi/supply_action.h"
#include "server/return_watch.h"

#include <asio/io_context.hpp>
#include <functional>
#include <memory>
#include <string>

namespace pelmora::server {

// What carries out the server's exchanges with the supply, in the order they were asked for,
// each result handed to its callback later on the server's loop, never at once and never while
// the loop would wait for the supply. It decides nothing: the controller says what to send. A
// port that is gone is closed; while it is, exchanges fail as Gone at once and the supply is
// looked for again.
class SupplyExecutor {
public:
    using Done = std::function<void(const scpi::ActionResult&)>;

    // Told on the loop, each before the result that found it out.
    struct Events {
        std::function<void()> lost;
        // With how messages call the port it is on now.
        std::function<void(const std::string&)> found;
    };

    virtual ~SupplyExecutor() = default;

    // A command, with the pause the protocol gives it.
    virtual void Send(const SupplyCommand& command, Done done) = 0;
    // The same, ahead of everything queued: a trip's reset.
    virtual void SendFirst(const SupplyCommand& command, Done done) = 0;
    // One current request; its reading comes in the result.
    virtual void Measure(Done done) = 0;
    // A poll of the currents for the protection: nothing else reaches the supply after it until
    // Release() or SendFirst(), so that a trip's reset follows its poll directly.
    virtual void Poll(Done done) = 0;
    virtual void Release() = 0;
    // One identity request.
    virtual void Identify(Done done) = 0;
    // Once the loop has stopped: the reset as the last bytes, and the port closed. True when
    // the supply took it.
    virtual bool Finish() = 0;
};

// The executor this platform serves the supply with best. The channel is open on the supply,
// its last words set, and `line` talks over it; the watch follows it.
std::unique_ptr<SupplyExecutor> MakeSupplyExecutor(asio::io_context& io, CSerialChannel& channel,
                                                   SupplyLine line, ByteTrace& trace,
                                                   ReturnWatch& watch,
                                                   SupplyExecutor::Events events);

} // namespace pelmora::server
