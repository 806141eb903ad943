#pragma once

#include "cli/remote_link.h"
#include "cli/supply_access.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

// The supply through a running pelmora-cli serve: who answers is asked first, then each verb is
// a line or two of SCPI whose errors are this client's own (each client of the server has its
// own error queue), so a failure is told without waiting for a time-out.
class RemoteSupply : public SupplyAccess {
public:
    // Connects and asks who answers; throws CliError when the server cannot be reached or is
    // no Pelmora server.
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
    // The reply to `line`; throws CliError when no reply came, or the server's parting line.
    std::string ReplyTo(std::string_view line);
    std::vector<std::string> Answers(std::string_view line);
    // Sends the line of changes, then `check`, whose first query reads this client's next
    // error; throws CliError when it answers one. Gives check's answers.
    std::vector<std::string> Change(std::string_view change, std::string_view check);
    std::string Unexpected(std::string_view line, std::string_view reply) const;

    RemoteLink m_link;
    // Its *IDN? answer, as printed.
    std::string m_identity;
};

// Whether an *IDN? answer names a Pelmora server: "Pelmora,<model>,<serial>,<version>".
bool IsPelmoraIdentity(std::string_view answer);

// A reply split into its answers. Error answers hold no ';', nor do numbers or the identity.
std::vector<std::string> SplitAnswers(std::string_view reply);

// The SCPI error number an error answer starts with ("-240,\"Hardware error\"" is -240); 0 for
// "0,\"No error\"" and for anything that is not an error answer.
int ErrorNumber(std::string_view answer);

// A current answer in amps (NR3) as whole milliamps; empty when it is no number.
std::optional<int> Milliamps(std::string_view amps);

} // namespace pelmora::cli
