#pragma once

#include "scpi/call.h"
#include "scpi/client_state.h"
#include "scpi/command_table.h"
#include "scpi/instrument.h"
#include "scpi/line_framer.h"
#include "scpi/program_unit.h"
#include "scpi/supply_action.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelmora::scpi {

// A whole line's answers, joined by ';' and ended by "\n": one write.
struct Reply {
    std::string text;
};

// Something the supply must do before the session can go on; the host hands the result to
// Complete().
struct Act {
    SupplyAction action;
};

// Nothing to do until more bytes arrive or the last Act is complete.
struct Idle {};

using Step = std::variant<Idle, Reply, Act>;

// One client's conversation: its bytes, the line it is in, the path its headers continue and
// the client's own state. It runs until it needs the supply, hands the action out and picks up
// where it stopped when the result comes back, so that other sessions go on meanwhile.
class Session {
public:
    explicit Session(Instrument& instrument);
    ~Session();
    // The line in progress is read where it lies, and the instrument holds on to the client's
    // state: a session stays where it was made.
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Receive(std::string_view bytes) { m_framer.Receive(bytes); }
    // Call until it gives Idle.
    Step Run();
    // The result of the last Act.
    void Complete(const ActionResult& result);
    bool Waiting() const { return m_waiting; }
    // Gives up the line that waits for the last Act, whose result will not come: what the line
    // has already handed to the supply stays, the rest of it is dropped, and the next line is
    // taken up at the next Run.
    void AbandonLine();
    // Bytes received and not yet taken up.
    std::size_t Unread() const { return m_framer.Buffered(); }
    ClientState& Client() { return m_client; }

private:
    std::optional<Step> Advance();
    bool ReadUnit();
    std::optional<Step> RunUnit();
    std::optional<Step> FinishLine();
    // The line's changes so far, as at most one action.
    std::optional<ApplyAction> Flush();
    Step Await(const SupplyAction& action, bool forFlush);
    void Abandon(Error error);

    Instrument& m_instrument;
    ClientState m_client;
    LineFramer m_framer;

    // The line in progress.
    std::string m_line;
    std::optional<UnitReader> m_reader;
    std::vector<std::string> m_path;
    std::vector<std::string> m_answers;
    LineDraft m_draft;
    bool m_ending = false;
    bool m_endFlushed = false;

    // The unit in progress.
    ProgramUnit m_unit;
    const Command* m_command = nullptr;
    bool m_unitFlushed = false;
    std::optional<ActionResult> m_result;

    // The supply's last current reply in this line, and the settings it was read under: both
    // rails come in that one reply, which holds until the settings change.
    struct Measured {
        SupplySettings settings;
        ActionResult result;
    };
    std::optional<Measured> m_measured;

    bool m_waiting = false;
    bool m_waitingForFlush = false;
    bool m_waitingForMeasure = false;
};

} // namespace pelmora::scpi
