#include "cli/cli_error.h"
#include "cli/controlled_supply.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using pelmora::cli::CliError;
using pelmora::cli::ControlledSupply;
using pelmora::cli::PolledCurrents;
using pelmora::cli::SupplyAccess;

// A supply drawing 150 mA on its positive rail whose port may be gone by the time the
// protection wants the output off.
class OverloadedSupply : public SupplyAccess {
public:
    explicit OverloadedSupply(bool portGone) : m_portGone(portGone) {}

    const std::string& Name() const override { return m_name; }
    std::string Identity() override { return "PelmoraPn99"; }
    void SwitchOn(std::string_view, std::string_view) override {}
    void SwitchOff() override {
        if (m_portGone) {
            throw CliError(pelmora::cli::kExitNoSupply, "COM3 (/dev/pts/9) is gone");
        }
        ++switchOffs;
    }
    PolledCurrents Poll() override {
        PolledCurrents polled;
        polled.reading = pelmora::protocol::CurrentReading{150, 20};
        return polled;
    }
    Place Where() override { return {}; }
    void SwitchOffAtExit() override {}

    int switchOffs = 0;

private:
    bool m_portGone;
    std::string m_name = "COM3 (/dev/pts/9)";
};

pelmora::overcurrent::TripSettings PositiveLimit() {
    pelmora::overcurrent::TripSettings settings;
    settings.positive = {true, 100};
    settings.samples = 1;
    settings.blanking = 0ms;
    return settings;
}

int EndStatus(const ControlledSupply& supply, std::string& message) {
    try {
        supply.ThrowTrip();
    } catch (const CliError& error) {
        message = error.what();
        return error.ExitStatus();
    }
    return -1;
}

TEST(ControlledSupply, ATripEndsWithItsOwnStatusOnlyWhenTheOutputWasSwitchedOff) {
    OverloadedSupply reachable(false);
    ControlledSupply clean(reachable, PositiveLimit());
    clean.SwitchOn("050", "010");
    EXPECT_TRUE(clean.Poll().tripped);
    EXPECT_EQ(reachable.switchOffs, 1);
    std::string message;
    EXPECT_EQ(EndStatus(clean, message), pelmora::cli::kExitTripped);
    EXPECT_EQ(message.rfind("tripped: pos 150 mA > 100 mA at ", 0), 0u) << message;

    // The trip happened, but the supply may still be on: that is not a clean trip.
    OverloadedSupply gone(true);
    ControlledSupply loud(gone, PositiveLimit());
    loud.SwitchOn("050", "010");
    EXPECT_TRUE(loud.Poll().tripped);
    EXPECT_EQ(EndStatus(loud, message), pelmora::cli::kExitNoSupply);
    EXPECT_EQ(message.rfind("tripped: pos 150 mA > 100 mA at ", 0), 0u) << message;
    EXPECT_NE(message.find("could NOT be switched off: COM3 (/dev/pts/9) is gone"),
              std::string::npos)
        << message;
}

} // namespace
