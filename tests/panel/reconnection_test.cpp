#include "link/serial_channel.h"
#include "link/supply_protocol.h"
#include "panel/not_found_message.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;
namespace fs = std::filesystem;

namespace {

// A port list entry that names a path outliving any one simulated supply, as a USB device's
// stable name does.
class PanelOnALinkedPort : public ::testing::Test {
protected:
    PanelOnALinkedPort()
        : m_link(fs::temp_directory_path() / ("pelmora-port-" + std::to_string(::getpid()))),
          m_listed("COM3=" + m_link.string()) {}

    SimConfig AtTheLink(SimConfig config = {}) {
        config.linkPath = m_link;
        return config;
    }
    QString Title(const std::string& where) {
        return QString::fromStdString(where) + QStringLiteral(" \u2014 PelmoraPn99 v1.0");
    }
    QString ConnectedTitle() { return Title("COM3 (" + m_link.string() + ")"); }
    QString NotConnectedTitle() { return Title("未接続"); }
    QPushButton* OnOff() { return m_panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF")); }

    fs::path m_link;
    ListedPorts m_listed;
    ModalAnswerer m_answerer;
    CSupplyPanelDlg m_panel;
};

SimConfig HangingUpWhilePolled() {
    // REQPN, RST, the voltage command, two polls, and the line drops at the third.
    SimConfig config;
    config.hangUpAfter = 6;
    return config;
}

} // namespace

TEST_F(PanelOnALinkedPort, LosingTheSupplyShowsTheOutputOffAndFindsItAgainWhenItComesBack) {
    auto lost = std::make_unique<SimulatedSupply>(AtTheLink(HangingUpWhilePolled()));
    // The alert is left open, as by a user away from the desk.
    m_answerer.SetAnswer([](const SeenBox&) { return QMessageBox::NoButton; });
    RunPanel(m_panel, [&] {
        EXPECT_EQ(m_panel.windowTitle(), ConnectedTitle());
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !m_answerer.Seen().empty(); }));
        const SeenBox& alert = m_answerer.Seen().front();
        EXPECT_EQ(alert.text, QString::fromUtf8(kNotFoundMessage));
        EXPECT_EQ(alert.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(m_panel.windowTitle(), NotConnectedTitle());
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);

        // The same device comes back behind the name.
        lost.reset();
        SimulatedSupply back(AtTheLink());
        ASSERT_TRUE(ProcessEventsUntil([&] { return m_panel.windowTitle() == ConnectedTitle(); },
                                       kReconnectBoundMs));
        EXPECT_EQ(Commands(back), (std::vector<std::string>{"REQPN\r", "RST\r"}));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey) << "found again, the output stays off";
        EXPECT_EQ(m_answerer.Seen().size(), 1u) << "no box while watching";
        const QPointer<QDialog> alertBox = m_answerer.Seen().front().dialog;
        EXPECT_TRUE(ProcessEventsUntil([&] { return !alertBox || !alertBox->isVisible(); }))
            << "the alert outlived the supply's return";

        OnOff()->click();
        EXPECT_EQ(Commands(back).back(), "V010010\r");
        OnOff()->click();
    });
}

TEST_F(PanelOnALinkedPort, ASupplyPluggedInAfterStartUpIsFoundWithoutARestart) {
    std::unique_ptr<SimulatedSupply> later;
    RunPanel(m_panel, [&] {
        ASSERT_EQ(m_answerer.Seen().size(), 1u);
        EXPECT_EQ(m_answerer.Seen().front().text, QString::fromUtf8(kNotFoundMessage));
        EXPECT_EQ(m_panel.windowTitle(), NotConnectedTitle());

        later = std::make_unique<SimulatedSupply>(AtTheLink());
        ASSERT_TRUE(ProcessEventsUntil([&] { return m_panel.windowTitle() == ConnectedTitle(); },
                                       kReconnectBoundMs));
        EXPECT_EQ(Commands(*later), (std::vector<std::string>{"REQPN\r", "RST\r"}));
        EXPECT_EQ(m_answerer.Seen().size(), 1u);
    });
    EXPECT_EQ(Commands(*later).back(), "RST\r");
}

TEST_F(PanelOnALinkedPort, ASupplyHeldByAnotherProgramAtStartUpIsFoundOnceLetGo) {
    SimulatedSupply supply(AtTheLink());
    auto holder = std::make_unique<CSerialChannel>();
    ASSERT_TRUE(holder->OpenDevice(m_link, pelmora::protocol::kBaudRate));
    RunPanel(m_panel, [&] {
        EXPECT_EQ(m_panel.windowTitle(), NotConnectedTitle());
        // A few looks while it is still held.
        ProcessEventsFor(2500);
        EXPECT_EQ(m_panel.windowTitle(), NotConnectedTitle());

        holder.reset();
        ASSERT_TRUE(ProcessEventsUntil([&] { return m_panel.windowTitle() == ConnectedTitle(); },
                                       kReconnectBoundMs));
        EXPECT_EQ(Commands(supply), (std::vector<std::string>{"REQPN\r", "RST\r"}));
    });
    // The not-found message, and the box that names the program holding the port.
    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_EQ(m_answerer.Seen().front().text, QString::fromUtf8(kNotFoundMessage));
}

TEST_F(PanelOnALinkedPort, AnotherInstrumentThatStaysIsAskedWhoItIsOnlyOnce) {
    SimConfig otherInstrument;
    otherInstrument.identitySuffix = "01";
    SimulatedSupply atStartUp(otherInstrument);
    ListedPorts listed("COM2=" + atStartUp.SlavePath().string() + ",COM3=" + m_link.string());
    std::unique_ptr<SimulatedSupply> arriving;
    RunPanel(m_panel, [&] {
        arriving = std::make_unique<SimulatedSupply>(AtTheLink(otherInstrument));
        // A minute of watching, as a panel left waiting for its supply would.
        ProcessEventsFor(60'000);
    });
    EXPECT_EQ(Commands(atStartUp), std::vector<std::string>{"REQPN\r"});
    EXPECT_EQ(Commands(*arriving), std::vector<std::string>{"REQPN\r"});
    ASSERT_EQ(m_answerer.Seen().size(), 1u) << m_answerer.Seen().back().text.toStdString();
}

TEST_F(PanelOnALinkedPort, ReconnectSearchesAgainAtOnceAndSaysSoWhenNothingAnswers) {
    // Silent at start-up, then answering; it stays plugged in, so only a search asks again.
    SimConfig slowToWake;
    slowToWake.stopAnsweringAfter = 0;
    slowToWake.resumeAnsweringAt = 3;
    SimulatedSupply supply(AtTheLink(slowToWake));
    RunPanel(m_panel, [&] {
        ChooseFromContextMenu(m_panel, QStringLiteral("再接続"));
        EXPECT_EQ(m_answerer.Seen().size(), 2u);
        EXPECT_EQ(m_answerer.Seen().back().text, QString::fromUtf8(kNotFoundMessage));
        EXPECT_EQ(m_panel.windowTitle(), NotConnectedTitle());

        ChooseFromContextMenu(m_panel, QStringLiteral("再接続"));
        EXPECT_EQ(m_answerer.Seen().size(), 2u);
        EXPECT_EQ(m_panel.windowTitle(), ConnectedTitle());
        EXPECT_EQ(Commands(supply).back(), "RST\r");
        EXPECT_TRUE(
            ChooseFromContextMenu(m_panel, QString()).contains(QStringLiteral("再接続 (off)")));
    });
    EXPECT_EQ(CountCommand(supply, "REQPN\r"), 3);
}

namespace {

// Leaves every box open, as at a machine where no one is there to answer, and notes whether
// each was still open when the test had waited for it long enough; such a box is then closed,
// so that the test goes on to say so.
class UnattendedBoxes {
public:
    explicit UnattendedBoxes(ModalAnswerer& answerer) {
        answerer.SetAnswer([this](const SeenBox& seen) {
            m_texts << seen.text;
            QPointer<QDialog> box = seen.dialog;
            QTimer::singleShot(kReconnectBoundMs, box, [this, box] {
                if (box && box->isVisible()) {
                    ++m_leftOpen;
                    box->reject();
                }
            });
            return QMessageBox::NoButton;
        });
    }
    const QStringList& Texts() const { return m_texts; }
    int LeftOpen() const { return m_leftOpen; }

private:
    QStringList m_texts;
    int m_leftOpen = 0;
};

} // namespace

TEST_F(PanelOnALinkedPort, ASupplyPluggedInWhileTheNotFoundBoxIsOpenIsFoundAndTheBoxCloses) {
    UnattendedBoxes boxes(m_answerer);
    std::unique_ptr<SimulatedSupply> later;
    // Plugged in while the box waits.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(ProcessEventsUntil([&] { return !boxes.Texts().empty(); }));
        later = std::make_unique<SimulatedSupply>(AtTheLink());
    });
    RunPanel(m_panel, [&] {
        EXPECT_EQ(m_panel.windowTitle(), ConnectedTitle());
        ASSERT_TRUE(later);
        ASSERT_EQ(Commands(*later), (std::vector<std::string>{"REQPN\r", "RST\r"}));
        OnOff()->click();
        EXPECT_EQ(Commands(*later).back(), "V010010\r");
        OnOff()->click();
    });
    EXPECT_EQ(boxes.Texts(), QStringList{QString::fromUtf8(kNotFoundMessage)});
    EXPECT_EQ(boxes.LeftOpen(), 0) << "the not-found box outlived the supply's arrival";
}

TEST_F(PanelOnALinkedPort, ASupplyLetGoWhileTheStartUpBoxesAreOpenIsFoundAndBothClose) {
    SimulatedSupply supply(AtTheLink());
    auto holder = std::make_unique<CSerialChannel>();
    ASSERT_TRUE(holder->OpenDevice(m_link, pelmora::protocol::kBaudRate));
    UnattendedBoxes boxes(m_answerer);
    // Let go while the first box waits, as a program that held the port at login ends.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(ProcessEventsUntil([&] { return !boxes.Texts().empty(); }));
        holder.reset();
    });
    RunPanel(m_panel, [&] {
        EXPECT_EQ(m_panel.windowTitle(), ConnectedTitle());
        EXPECT_EQ(Commands(supply), (std::vector<std::string>{"REQPN\r", "RST\r"}));
    });
    // The advice about the busy port comes no more once the supply is found.
    EXPECT_EQ(boxes.Texts(), QStringList{QString::fromUtf8(kNotFoundMessage)});
    EXPECT_EQ(boxes.LeftOpen(), 0);
}
