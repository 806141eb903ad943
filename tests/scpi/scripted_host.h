#pragma once

#include "link/supply_protocol.h"
#include "scpi/session.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Plays the server's part for the tests: feeds bytes to sessions, carries out each action the
// way the server will (recording the supply's commands it would write) and collects replies.
class ScriptedHost {
public:
    static constexpr std::string_view kVersion = "1.0.0.1";

    pelmora::scpi::Instrument instrument{std::string(kVersion)};
    pelmora::scpi::Session session{instrument};
    // The supply's commands in the order they would reach the port.
    std::vector<std::string> wire;
    // Outcomes for the next actions, oldest first; once used up, every action succeeds.
    std::deque<pelmora::scpi::ActionResult::Outcome> outcomes;
    // What a current request or the next poll reads.
    pelmora::protocol::CurrentReading reading{123, 45};

    // Feeds `bytes` to `target` and runs it until it is idle; returns its replies.
    std::string Send(pelmora::scpi::Session& target, std::string_view bytes);
    std::string Send(std::string_view bytes) { return Send(session, bytes); }
    // The supply's command for `action`, recorded on the wire; poll samples are delivered.
    pelmora::scpi::ActionResult Carry(const pelmora::scpi::SupplyAction& action);
    // The programs started, oldest first; the host runs none of their steps.
    std::vector<pelmora::scpi::RunProgramAction> programs;
    // Ends the running program as the server does, with the output off.
    void EndProgram();
    // Every error queued for the host's own session so far, oldest first, as numbers.
    std::vector<int> DrainErrors();
};
