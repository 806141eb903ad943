#pragma once

#include "remote_link.h"
#include "supply_access.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

// The supply through a running pelmora-cli serve: each verb is one SCPI line, whose own errors
// come back in the same reply, so a failure is told without waiting for a time-out.
class RemoteSupply : public SupplyAccess {
public:
    // Connects; throws CliError when the server cannot be reached.
    RemoteSupply(const RemoteAddress& address, int waitMs, ByteTrace& trace);

    const std::string& Name() const override { return m_link.Name(); }
    std::string Identity() override;
    void SwitchOn(std::string_view positiveCode, std::string_view negativeCode) override;
    void SwitchOff() override;
    PolledCurrents Poll() override;
    Place Where() override;
    // The server keeps the supply as it is when a client goes away: nothing to arrange here.
    void SwitchOffAtExit() override {}

private:
    // The answers to `line`; throws CliError when no reply came.
    std::vector<std::string> Answers(std::string_view line);
    // Sends a line of changes that ends in error queries; throws CliError when one answers an
    // error.
    void Change(std::string_view line);
    std::string Unexpected(std::string_view line, std::string_view reply) const;

    RemoteLink m_link;
};

// A reply split into its answers. Error answers hold no ';', nor do numbers or the identity.
std::vector<std::string> SplitAnswers(std::string_view reply);

// The SCPI error number an error answer starts with ("-240,\"Hardware error\"" is -240); 0 for
// "0,\"No error\"" and for anything that is not an error answer.
int ErrorNumber(std::string_view answer);

// A current answer in amps (NR3) as whole milliamps; empty when it is no number.
std::optional<int> Milliamps(std::string_view amps);

} // namespace pelmora::cli
