#include "panel/drop_down_list.h"
#include "tests/panel/input_events.h"
#include "tests/panel/protection_input.h"
#include "tests/panel/sequence_fixture.h"

#include <QLabel>
#include <QPushButton>

using pelmora::sim::SimConfig;
namespace fs = std::filesystem;

namespace {

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
    EXPECT_TRUE(menuWhileRunning.contains(kRunSequence + QStringLiteral(" (off)")))
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
    EXPECT_EQ(m_answerer.Seen().back().text,
              QStringLiteral("シーケンスを実行できません: bad.csv の 2 行目、dwell_s: 「0.1」は "
                             "0.3 秒 (電流の読み取り 1 回分) より短くできません"));
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
        EXPECT_TRUE(
            m_panel.windowTitle().contains(QStringLiteral("正側 999\u00a0mA > 200\u00a0mA")));
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
        EXPECT_TRUE(
            m_panel.windowTitle().contains(QStringLiteral("正側 999\u00a0mA > 200\u00a0mA")))
            << m_panel.windowTitle().toStdString();
    });
}
