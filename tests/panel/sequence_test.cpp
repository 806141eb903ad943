#include "link/supply_protocol.h"
#include "panel/drop_down_list.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"
#include "tests/panel/protection_input.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using pelmora::sim::SimConfig;
namespace fs = std::filesystem;

namespace {

const QString kRun = QStringLiteral("シーケンス実行…");
const std::string kPoll = "REQA\r";
const std::string kReset = "RST\r";
// A program of a few seconds at most, however slow the machine.
constexpr int kProgramBoundMs = 10'000;

std::string Voltages(const char* positiveCode, const char* negativeCode) {
    return pelmora::protocol::BuildVoltageCommand(positiveCode, negativeCode);
}

class Sequences : public ::testing::Test {
protected:
    explicit Sequences(SimConfig config = {})
        : m_sim(std::move(config)),
          m_dir(fs::temp_directory_path() / ("pelmora-sequences-" + std::to_string(::getpid()))) {
        fs::create_directories(m_dir);
    }
    ~Sequences() override { fs::remove_all(m_dir); }

    fs::path Write(const char* name, const std::string& text) {
        const fs::path file = m_dir / name;
        std::ofstream(file) << text;
        return file;
    }
    // Chooses the file in the file dialog and leaves the progress window open; every message
    // box is answered OK.
    void Run(const fs::path& file) {
        const auto choose = ModalAnswerer::ChoosingFile(QString::fromStdString(file.string()));
        m_answerer.SetAnswer(FillingProtection({}, nullptr, [choose](const SeenBox& seen) {
            if (seen.className == QStringLiteral("CSequenceDlg")) {
                return QMessageBox::NoButton;
            }
            return choose(seen);
        }));
        m_sentBefore = Commands(m_sim.supply).size();
        ChooseFromContextMenu(m_panel, kRun);
    }
    // Settings sent since the program was chosen: no polls.
    std::vector<std::string> SettingsSent() {
        const auto commands = Commands(m_sim.supply);
        std::vector<std::string> settings;
        std::copy_if(commands.begin() + static_cast<std::ptrdiff_t>(m_sentBefore), commands.end(),
                     std::back_inserter(settings),
                     [](const std::string& command) { return command != kPoll; });
        return settings;
    }
    QDialog* Progress() {
        auto* progress = m_panel.findChild<QDialog*>(QStringLiteral("CSequenceDlg"));
        for (auto* dialog : m_panel.findChildren<QDialog*>()) {
            if (dialog->inherits("CSequenceDlg") && dialog->isVisible()) {
                progress = dialog;
            }
        }
        return progress;
    }
    QPushButton* OnOff() { return m_panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF")); }
    CDropDownList* List(const char* name) {
        return m_panel.findChild<CDropDownList*>(QString::fromLatin1(name));
    }
    bool Locked() {
        return !OnOff()->isEnabled() && !List("IDC_POS_VOLTAGE")->isEnabled() &&
               !List("IDC_NEG_VOLTAGE")->isEnabled();
    }
    bool Unlocked() {
        return OnOff()->isEnabled() && List("IDC_POS_VOLTAGE")->isEnabled() &&
               List("IDC_NEG_VOLTAGE")->isEnabled();
    }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    fs::path m_dir;
    std::size_t m_sentBefore = 0;
    CSupplyPanelDlg m_panel;
};

class SequencesIntoAFailingLoad : public Sequences {
protected:
    static SimConfig Failing() {
        SimConfig config;
        // The board shorts its positive rail two seconds into the program.
        config.loadChanges.push_back({std::chrono::milliseconds(2000), pelmora::sim::kShortOhms,
                                      pelmora::sim::kDefaultLoadOhms});
        return config;
    }
    SequencesIntoAFailingLoad() : Sequences(Failing()) {}
};

} // namespace

TEST_F(Sequences, EachStepReachesTheSupplyAndTheListsThenTheOutputGoesOff) {
    const fs::path file = Write("ramp.csv", "dwell_s,pos_v,neg_v\n"
                                            "# a ramp\n"
                                            "0.4,5,-12\n"
                                            "\n"
                                            "0.4,3.5,-5\n"
                                            "0.4,12,1\n");
    QStringList menuWhileRunning;
    QString stepShown;
    RunPanel(m_panel, [&] {
        Run(file);
        ASSERT_NE(Progress(), nullptr);
        stepShown = Progress()->findChild<QLabel*>(QStringLiteral("step"))->text();
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed);
        EXPECT_EQ(List("IDC_POS_VOLTAGE")->currentText(), QStringLiteral("5V"));
        EXPECT_EQ(List("IDC_NEG_VOLTAGE")->currentText(), QStringLiteral("-12V"));
        EXPECT_TRUE(Locked());
        // The user's own keys do nothing while it runs.
        FocusByClick(&m_panel);
        Key(&m_panel, Qt::Key_Return);
        menuWhileRunning = ChooseFromContextMenu(m_panel, QString());

        ASSERT_TRUE(ProcessEventsUntil([&] { return Progress() == nullptr; }, kProgramBoundMs));
        EXPECT_EQ(SettingsSent(),
                  (std::vector<std::string>{Voltages("050", "120"), Voltages("035", "050"),
                                            Voltages("120", "010"), kReset}));
        EXPECT_EQ(List("IDC_POS_VOLTAGE")->currentText(), QStringLiteral("12V"));
        EXPECT_EQ(List("IDC_NEG_VOLTAGE")->currentText(), QStringLiteral("-1V"));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(Unlocked());
    });
    EXPECT_EQ(stepShown, QStringLiteral("ステップ 1 / 3"));
    EXPECT_TRUE(menuWhileRunning.contains(kRun + QStringLiteral(" (off)")))
        << menuWhileRunning.join('|').toStdString();
}

TEST_F(Sequences, StopEndsTheProgramWithTheOutputOff) {
    const fs::path file = Write("long.csv", "60,5,-5\n60,12,-12\n");
    RunPanel(m_panel, [&] {
        Run(file);
        ASSERT_NE(Progress(), nullptr);
        ASSERT_TRUE(ProcessEventsUntil([&] { return CountCommand(m_sim.supply, kPoll) >= 2; }));
        ClickMiddle(Progress()->findChild<QPushButton*>(QStringLiteral("stop")));
        EXPECT_EQ(Progress(), nullptr);
        EXPECT_EQ(SettingsSent(), (std::vector<std::string>{Voltages("050", "050"), kReset}));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(Unlocked());
    });
}

TEST_F(Sequences, ClosingThePanelEndsTheProgramWithTheOutputOff) {
    const fs::path file = Write("long.csv", "60,5,-5\n60,12,-12\n");
    RunPanel(m_panel, [&] {
        Run(file);
        ASSERT_NE(Progress(), nullptr);
        Key(&m_panel, Qt::Key_Escape);
    });
    ProcessEventsFor(700);
    EXPECT_EQ(SettingsSent(), (std::vector<std::string>{Voltages("050", "050"), kReset}));
}

TEST_F(Sequences, ABadFileIsRefusedWithItsLineAndFieldAndNothingIsSent) {
    const fs::path file = Write("bad.csv", "1,5,-12\n0.1,5,-12\n1,5,-12\n");
    RunPanel(m_panel, [&] {
        Run(file);
        EXPECT_EQ(Progress(), nullptr);
        ProcessEventsFor(700);
        EXPECT_TRUE(SettingsSent().empty());
        EXPECT_TRUE(Unlocked());
    });
    ASSERT_FALSE(m_answerer.Seen().empty());
    const QString message = m_answerer.Seen().back().text;
    EXPECT_TRUE(message.contains(QStringLiteral("bad.csv:2")) && message.contains("dwell_s"))
        << message.toStdString();
}

TEST_F(SequencesIntoAFailingLoad, ATripEndsTheProgramWithTheOutputOff) {
    const fs::path file = Write("soak.csv", "60,5,-5\n60,12,-12\n");
    RunPanel(m_panel, [&] {
        m_answerer.SetAnswer(FillingProtection({.positiveOn = true, .positiveMa = 200}));
        ChooseFromContextMenu(m_panel, QStringLiteral("過電流保護…"));
        Run(file);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Progress() == nullptr; }, kProgramBoundMs));
        EXPECT_EQ(SettingsSent(), (std::vector<std::string>{Voltages("050", "050"), kReset}));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(Unlocked());
        EXPECT_TRUE(m_panel.windowTitle().contains(QStringLiteral("正側 999 mA > 200 mA")));
    });
}

TEST_F(SequencesIntoAFailingLoad, StepsThatKeepTheVoltagesDoNotRestartTheInrushDelay) {
    // Each step is shorter than the 0.5 s delay after a change; the voltages never change.
    std::string program;
    for (int step = 0; step < 12; ++step) {
        program += "0.3,5,-5\n";
    }
    const fs::path file = Write("hold.csv", program);
    RunPanel(m_panel, [&] {
        m_answerer.SetAnswer(FillingProtection({.positiveOn = true, .positiveMa = 200}));
        ChooseFromContextMenu(m_panel, QStringLiteral("過電流保護…"));
        Run(file);
        ASSERT_TRUE(ProcessEventsUntil([&] { return Progress() == nullptr; }, kProgramBoundMs));
        EXPECT_EQ(SettingsSent().back(), kReset);
        EXPECT_TRUE(m_panel.windowTitle().contains(QStringLiteral("正側 999 mA > 200 mA")))
            << m_panel.windowTitle().toStdString();
    });
}
