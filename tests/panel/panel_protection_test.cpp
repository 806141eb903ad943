#include "link/supply_protocol.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"
#include "tests/panel/protection_input.h"

#include <QPushButton>
#include <algorithm>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pelmora::sim::SimConfig;

namespace {

const QString kProtection = QStringLiteral("過電流保護…");
// The panel's default voltages, 1 V on both rails.
const std::string kDefaultVoltages = pelmora::protocol::BuildVoltageCommand("010", "010");

// 1 V into the default 100 ohm loads: 10 mA on each rail, without noise.
SimConfig Quiet(double positiveOhms = pelmora::sim::kDefaultLoadOhms,
                double negativeOhms = pelmora::sim::kDefaultLoadOhms) {
    SimConfig config;
    config.noiseMa = 0;
    config.positiveLoadOhms = positiveOhms;
    config.negativeLoadOhms = negativeOhms;
    return config;
}

class Protection : public ::testing::Test {
protected:
    explicit Protection(SimConfig config) : m_sim(std::move(config)) {}

    QPushButton* OnOff() { return m_panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF")); }
    void Protect(const ProtectionInput& input, QString* tripShown = nullptr) {
        m_answerer.SetAnswer(FillingProtection(input, tripShown));
        ChooseFromContextMenu(m_panel, kProtection);
    }
    // What went to the supply since the output was last switched on.
    std::vector<std::string> SinceSwitchedOn() {
        const auto commands = Commands(m_sim.supply);
        const auto on = std::find(commands.rbegin(), commands.rend(), kDefaultVoltages);
        return {on.base(), commands.end()};
    }
    bool Tripped() { return m_panel.windowTitle().contains(QStringLiteral("トリップ")); }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    CSupplyPanelDlg m_panel;
};

class ProtectionOfAShortedRail : public Protection {
protected:
    ProtectionOfAShortedRail() : Protection(Quiet(pelmora::sim::kShortOhms)) {}
};

class ProtectionOfAShortedNegativeRail : public Protection {
protected:
    ProtectionOfAShortedNegativeRail()
        : Protection(Quiet(pelmora::sim::kDefaultLoadOhms, pelmora::sim::kShortOhms)) {}
};

class ProtectionOfAHealthyLoad : public Protection {
protected:
    ProtectionOfAHealthyLoad() : Protection(Quiet()) {}
};

} // namespace

TEST_F(ProtectionOfAShortedRail, TripsAfterItsSamplesAndStaysOffUntilCleared) {
    QString tripShown;
    RunPanel(m_panel, [&] {
        Protect({.positiveOn = true, .positiveMa = 100, .samples = 3, .delaySeconds = 0});
        EXPECT_TRUE(m_panel.windowTitle().contains(QStringLiteral("保護 正 100\u00a0mA / 負 なし")))
            << m_panel.windowTitle().toStdString();
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Tripped(); }));
        // Three polls over the limit, the reset next, and nothing after it.
        ProcessEventsFor(700);
        EXPECT_EQ(SinceSwitchedOn(), (std::vector<std::string>{kPoll, kPoll, kPoll, kReset}));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(
            m_panel.windowTitle().contains(QStringLiteral("正側 999\u00a0mA > 100\u00a0mA")))
            << m_panel.windowTitle().toStdString();
        ASSERT_FALSE(m_answerer.Seen().empty());
        EXPECT_EQ(m_answerer.Seen().back().icon, QMessageBox::Warning);
        EXPECT_TRUE(m_answerer.Seen().back().text.contains(
            QStringLiteral("正側 999\u00a0mA > 100\u00a0mA")));

        // Latched: ON/OFF, and OK in the dialog without clearing, leave the output off.
        const auto sent = Commands(m_sim.supply).size();
        Key(&m_panel, Qt::Key_Return);
        Protect({}, &tripShown);
        Key(&m_panel, Qt::Key_Return);
        ProcessEventsFor(400);
        EXPECT_EQ(Commands(m_sim.supply).size(), sent);
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(m_answerer.Seen().back().text.contains(QStringLiteral("オンにできません")));

        Protect({.positiveOn = false, .clearTrip = true});
        EXPECT_FALSE(Tripped());
        Key(&m_panel, Qt::Key_Return);
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed);
        EXPECT_EQ(LastSetting(m_sim.supply), kDefaultVoltages);
    });
    EXPECT_TRUE(tripShown.contains(QStringLiteral("正側 999\u00a0mA > 100\u00a0mA")))
        << tripShown.toStdString();
}

TEST_F(ProtectionOfAShortedNegativeRail, WatchesTheNegativeRailToo) {
    RunPanel(m_panel, [&] {
        Protect({.positiveOn = true, .negativeOn = true, .negativeMa = 500, .delaySeconds = 0});
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Tripped(); }));
        EXPECT_EQ(SinceSwitchedOn(), (std::vector<std::string>{kPoll, kPoll, kReset}));
        EXPECT_TRUE(
            m_panel.windowTitle().contains(QStringLiteral("負側 999\u00a0mA > 500\u00a0mA")))
            << m_panel.windowTitle().toStdString();
    });
}

TEST_F(ProtectionOfAShortedRail, IgnoresTheInrushForItsDelay) {
    RunPanel(m_panel, [&] {
        Protect({.positiveOn = true, .positiveMa = 100, .samples = 1, .delaySeconds = 1});
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Tripped(); }));
    });
    const auto log = m_sim.supply.Log();
    const auto on = std::find_if(log.begin(), log.end(), [](const auto& logged) {
        return logged.bytes == kDefaultVoltages;
    });
    const auto reset =
        std::find_if(on, log.end(), [](const auto& logged) { return logged.bytes == kReset; });
    ASSERT_NE(reset, log.end());
    // The panel starts the delay just before its command leaves, so the supply sees a little
    // less of it.
    EXPECT_GE(reset->received - on->received, 950ms);
    EXPECT_GE(std::count_if(on, reset, [](const auto& logged) { return logged.bytes == kPoll; }),
              2);
}

TEST_F(ProtectionOfAHealthyLoad, AReadingEqualToTheLimitDoesNotTripButOneAboveDoes) {
    RunPanel(m_panel, [&] {
        Protect({.positiveOn = true,
                 .positiveMa = 10,
                 .negativeOn = true,
                 .negativeMa = 10,
                 .samples = 1,
                 .delaySeconds = 0});
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil([&] { return CountCommand(m_sim.supply, kPoll) >= 4; }));
        EXPECT_FALSE(Tripped());
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed);

        Protect({.negativeMa = 9});
        ASSERT_TRUE(ProcessEventsUntil([&] { return Tripped(); }));
        EXPECT_TRUE(m_panel.windowTitle().contains(QStringLiteral("負側 10\u00a0mA > 9\u00a0mA")))
            << m_panel.windowTitle().toStdString();
    });
}

TEST_F(ProtectionOfAShortedRail, CancelLeavesTheProtectionOff) {
    RunPanel(m_panel, [&] {
        Protect({.positiveOn = true, .positiveMa = 100, .delaySeconds = 0, .cancel = true});
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil([&] { return CountCommand(m_sim.supply, kPoll) >= 4; }));
        EXPECT_FALSE(Tripped());
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed);
    });
}
