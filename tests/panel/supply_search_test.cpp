#include "link/serial_channel.h"
#include "panel/not_found_message.h"
#include "panel/response_box.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <gtest/gtest.h>

using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

namespace {

SimConfig WithSuffix(const char* suffix) {
    SimConfig config;
    config.identitySuffix = suffix;
    return config;
}

// A panel ready to search, with the host wait time it has after start-up.
class SearchingPanel : public ::testing::Test {
protected:
    SearchingPanel() {
        m_panel.findChild<QLineEdit*>(QStringLiteral("IDC_WAIT_MS"))->setText("30");
    }
    QString Response() {
        return m_panel.findChild<CResponseBox*>(QStringLiteral("IDC_RESPONSE"))->Text();
    }

    ModalAnswerer m_answerer;
    CSupplyPanelDlg m_panel;
};

} // namespace

TEST_F(SearchingPanel, PassesOverAnotherDeviceToTheSupplyBehindIt) {
    SimulatedSupply other(WithSuffix("01"));
    SimulatedSupply supply;
    ListedPorts listed("COM1=" + other.SlavePath().string() +
                       ",COM12=" + supply.SlavePath().string());

    EXPECT_TRUE(m_panel.SearchSupply());
    EXPECT_TRUE(m_answerer.Seen().empty());
    EXPECT_EQ(Commands(other), std::vector<std::string>{"REQPN\r"});
    EXPECT_EQ(Commands(supply), std::vector<std::string>{"REQPN\r"});
    EXPECT_EQ(Response(), QStringLiteral("ACKPNDRELVOV99\r"));

    // The other device's port was released; the supply's stays ours.
    CSerialChannel released;
    EXPECT_TRUE(released.Open(1, 921600));
    CSerialChannel held;
    EXPECT_FALSE(held.Open(12, 921600));
    m_panel.SendReset();
    ASSERT_TRUE(supply.WaitForCommands(2, std::chrono::seconds(2)));
    EXPECT_EQ(Commands(supply).back(), "RST\r");
}

TEST_F(SearchingPanel, TakesTheFirstOfTwoSupplies) {
    SimulatedSupply first;
    SimulatedSupply second;
    ListedPorts listed("COM7=" + second.SlavePath().string() +
                       ",COM4=" + first.SlavePath().string());
    EXPECT_TRUE(m_panel.SearchSupply());
    EXPECT_EQ(Commands(first), std::vector<std::string>{"REQPN\r"});
    EXPECT_TRUE(Commands(second).empty());
}

TEST_F(SearchingPanel, TriesNinetyNineAndNothingAbove) {
    SimulatedSupply beyond;
    SimulatedSupply last;
    ListedPorts listed("COM100=" + beyond.SlavePath().string() +
                       ",COM99=" + last.SlavePath().string());
    EXPECT_TRUE(m_panel.SearchSupply());
    EXPECT_TRUE(Commands(beyond).empty());
    EXPECT_EQ(Commands(last), std::vector<std::string>{"REQPN\r"});
}

TEST_F(SearchingPanel, RejectsWrongIdentityAndSlowSupplyAndSaysSo) {
    SimulatedSupply wrongSuffix(WithSuffix("01"));
    SimConfig slowConfig;
    slowConfig.replyDelay = std::chrono::milliseconds(300);
    SimulatedSupply slow(slowConfig);
    ListedPorts listed("COM2=" + wrongSuffix.SlavePath().string() +
                       ",COM5=" + slow.SlavePath().string());

    EXPECT_FALSE(m_panel.SearchSupply());
    EXPECT_EQ(Commands(wrongSuffix), std::vector<std::string>{"REQPN\r"});
    EXPECT_EQ(Commands(slow), std::vector<std::string>{"REQPN\r"});

    ASSERT_EQ(m_answerer.Seen().size(), 1u);
    const SeenBox& box = m_answerer.Seen().front();
    EXPECT_EQ(box.text, QString::fromUtf8(kNotFoundMessage));
    EXPECT_EQ(box.title, QCoreApplication::applicationName());
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // Both ports were closed again.
    CSerialChannel probe;
    EXPECT_TRUE(probe.Open(5, 921600));
    probe.Close();
    EXPECT_TRUE(probe.Open(2, 921600));
}

TEST_F(SearchingPanel, NoListedPortLeavesNoPortAndTheMessage) {
    ListedPorts listed("COM0=/nonexistent/ttyACM0");
    EXPECT_FALSE(m_panel.SearchSupply());
    EXPECT_EQ(Response(), QStringLiteral("no port"));
    EXPECT_EQ(m_answerer.Seen().size(), 1u);
}

TEST_F(SearchingPanel, AMalformedPortListIsReportedOnceAtTheSearch) {
    ListedPorts listed("COM3=");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_panel.SearchSupply());
    const std::string report = testing::internal::GetCapturedStderr();
    const std::string line = ": PELMORA_PORTS is malformed: 'COM3=' lists no port; its form is "
                             "NAME=PATH[,NAME=PATH]..., e.g. COM3=/dev/ttyACM0";
    const auto first = report.find(line);
    EXPECT_NE(first, std::string::npos) << report;
    EXPECT_EQ(report.find(line, first + 1), std::string::npos) << report;
    EXPECT_EQ(m_answerer.Seen().size(), 1u);
}

TEST_F(SearchingPanel, NegativeWaitBoxWaitsNothing) {
    SimConfig config;
    config.replyDelay = std::chrono::milliseconds(500);
    SimulatedSupply supply(config);
    ListedPorts listed("COM3=" + supply.SlavePath().string());
    m_panel.findChild<QLineEdit*>(QStringLiteral("IDC_WAIT_MS"))->setText("-5000");
    ASSERT_TRUE(m_panel.ProbePort(3));
    EXPECT_EQ(Response(), QStringLiteral("found a port"));
    // With no wait the reply cannot have arrived yet; a negative wait must not become a hang.
    EXPECT_FALSE(m_panel.IdentifySupply());
    EXPECT_EQ(Response(), QString());
}
