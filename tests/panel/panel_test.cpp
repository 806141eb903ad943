#include "app/quit_signals.h"
#include "app/supply_app.h"
#include "link/posix/ending_signals_posix.h"
#include "link/serial_channel.h"
#include "panel/drop_down_list.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>

using namespace std::chrono_literals;
using pelmora::sim::SimConfig;

namespace {

QPushButton* OnOff(CSupplyPanelDlg& panel) {
    return panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF"));
}

CDropDownList* List(CSupplyPanelDlg& panel, const char* name) {
    return panel.findChild<CDropDownList*>(QString::fromLatin1(name));
}

// Opens a list and clicks one of its entries, as a user would.
void ChooseFromList(CDropDownList& list, int index) {
    list.showPopup();
    QAbstractItemView* view = list.view();
    ASSERT_TRUE(ProcessEventsUntil([view] { return view->isVisible(); }));
    const QPoint entry = view->visualRect(view->model()->index(index, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry);
    ProcessEventsFor(20);
}

// Opens a list and closes it again without a choice.
void OpenAndDismiss(CDropDownList& list) {
    list.showPopup();
    list.hidePopup();
    ProcessEventsFor(20);
}

bool PortIsFree() {
    CSerialChannel channel;
    return channel.Open(3, 921600);
}

void ExpectResetLastAndPortFree(const pelmora::sim::SimulatedSupply& supply) {
    const auto commands = Commands(supply);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "RST\r");
    EXPECT_TRUE(PortIsFree());
}

class RunningPanel : public ::testing::Test {
protected:
    explicit RunningPanel(SimConfig config = {}) : m_sim(std::move(config)) {}

    pelmora::sim::SimulatedSupply& Supply() { return m_sim.supply; }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    CSupplyPanelDlg m_panel;
};

} // namespace

TEST_F(RunningPanel, StartsWithOutputOffAfterExactlyOneReset) {
    RunPanel(m_panel, [&] {
        const auto log = Supply().Log();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].bytes, "REQPN\r");
        EXPECT_EQ(log[1].bytes, "RST\r");
        EXPECT_GE(log[1].received - log[0].received, 100ms);

        EXPECT_EQ(List(m_panel, "IDC_POS_VOLTAGE")->currentText(), QStringLiteral("1V"));
        EXPECT_EQ(List(m_panel, "IDC_NEG_VOLTAGE")->currentText(), QStringLiteral("-1V"));
        EXPECT_EQ(List(m_panel, "IDC_POS_VOLTAGE")->count(), 16);
        EXPECT_EQ(List(m_panel, "IDC_NEG_VOLTAGE")->itemText(12), QStringLiteral("-10V"));
        EXPECT_EQ(ControlText(m_panel, "IDC_WAIT_MS"), QStringLiteral("30"));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(m_answerer.Seen().empty());
        EXPECT_EQ(m_panel.windowTitle(),
                  QStringLiteral("COM3 (%1) \u2014 PelmoraPn99 v1.0")
                      .arg(QString::fromStdString(Supply().SlavePath().string())));
    });
    ExpectResetLastAndPortFree(Supply());
}

TEST_F(RunningPanel, OnOffSwitchesTheSupplyAndTheLamp) {
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        EXPECT_EQ(Commands(Supply()).back(), "V010010\r");
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed);
        OnOff(m_panel)->click();
        EXPECT_EQ(Commands(Supply()).back(), "RST\r");
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
    });
}

TEST_F(RunningPanel, ChosenVoltagesGoOutWhileOnAndWaitWhileOff) {
    RunPanel(m_panel, [&] {
        const auto sentBefore = Commands(Supply()).size();
        ChooseFromList(*List(m_panel, "IDC_POS_VOLTAGE"), 15);
        ChooseFromList(*List(m_panel, "IDC_NEG_VOLTAGE"), 1);
        EXPECT_EQ(Commands(Supply()).size(), sentBefore) << "nothing is sent while off";
        EXPECT_EQ(List(m_panel, "IDC_POS_VOLTAGE")->currentText(), QStringLiteral("13V"));

        OnOff(m_panel)->click();
        EXPECT_EQ(Commands(Supply()).back(), "V130015\r");

        ChooseFromList(*List(m_panel, "IDC_NEG_VOLTAGE"), 9);
        EXPECT_EQ(LastSetting(Supply()), "V130070\r");

        // Closing a list without a choice keeps the rail's entry and sends both codes again.
        const int sent = CountCommand(Supply(), "V130070\r");
        OpenAndDismiss(*List(m_panel, "IDC_POS_VOLTAGE"));
        EXPECT_EQ(CountCommand(Supply(), "V130070\r"), sent + 1);
        EXPECT_EQ(LastSetting(Supply()), "V130070\r");
        EXPECT_EQ(List(m_panel, "IDC_POS_VOLTAGE")->currentText(), QStringLiteral("13V"));
    });
}

TEST_F(RunningPanel, OpeningAListShowsItsFirstEntry) {
    RunPanel(m_panel, [&] {
        auto* list = List(m_panel, "IDC_NEG_VOLTAGE");
        ChooseFromList(*list, 4);
        list->showPopup();
        EXPECT_EQ(list->currentText(), QStringLiteral("-1V"));
        list->hidePopup();
        ProcessEventsFor(20);
        EXPECT_EQ(list->currentText(), QStringLiteral("-3V"));
    });
}

TEST_F(RunningPanel, PollsOnlyWhileTheOutputIsOn) {
    RunPanel(m_panel, [&] {
        ProcessEventsFor(700);
        EXPECT_EQ(CountCommand(Supply(), "REQA\r"), 0);

        OnOff(m_panel)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return CountCommand(Supply(), "REQA\r") >= 4; }));
        OnOff(m_panel)->click();
        const int polls = CountCommand(Supply(), "REQA\r");
        ProcessEventsFor(700);
        EXPECT_EQ(CountCommand(Supply(), "REQA\r"), polls);

        // Polls follow the 300 ms period, not the speed of the supply's replies. A late tick
        // may be followed by an early one, so only the mean is held to the period.
        std::vector<std::chrono::steady_clock::time_point> pollTimes;
        for (const auto& logged : Supply().Log()) {
            if (logged.bytes == "REQA\r") {
                pollTimes.push_back(logged.received);
            }
        }
        ASSERT_GE(pollTimes.size(), 4u);
        const auto span = pollTimes.back() - pollTimes.front();
        EXPECT_GE(span / static_cast<int>(pollTimes.size() - 1), 250ms);
    });
    ExpectResetLastAndPortFree(Supply());
}

class PanelWithSteadyLoad : public RunningPanel {
protected:
    static SimConfig SteadyLoad() {
        // At 1 V these loads draw 123 mA and 45 mA, without noise.
        SimConfig config;
        config.positiveLoadOhms = 1000.0 / 123.0;
        config.negativeLoadOhms = 1000.0 / 45.0;
        config.noiseMa = 0;
        return config;
    }
    PanelWithSteadyLoad() : RunningPanel(SteadyLoad()) {}
};

TEST_F(PanelWithSteadyLoad, AveragesRampUpOverTenPolls) {
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        std::vector<QString> shown;
        int polls = 0;
        while (polls < 11) {
            ASSERT_TRUE(
                ProcessEventsUntil([&] { return CountCommand(Supply(), "REQA\r") > polls; }));
            ProcessEventsFor(60);
            ++polls;
            shown.push_back(ControlText(m_panel, "IDC_POS_CURRENT") + "/" +
                            ControlText(m_panel, "IDC_NEG_CURRENT"));
        }
        EXPECT_EQ(shown.front(), QStringLiteral("12/4"));
        EXPECT_EQ(shown[4], QStringLiteral("61/22"));
        EXPECT_EQ(shown[9], QStringLiteral("123/45"));
        EXPECT_EQ(shown[10], QStringLiteral("123/45"));

        // Switching off keeps the last averages; the histories carry on after switching on.
        OnOff(m_panel)->click();
        EXPECT_EQ(ControlText(m_panel, "IDC_POS_CURRENT"), QStringLiteral("123"));
    });
}

class PanelWithFailingSupply : public RunningPanel {
protected:
    static SimConfig Failing() {
        // Answers the identity request, then nothing more.
        SimConfig config;
        config.stopAnsweringAfter = 1;
        return config;
    }
    PanelWithFailingSupply() : RunningPanel(Failing()) {}
};

TEST_F(PanelWithFailingSupply, AlertComesBackAfterOkOnly) {
    int alerts = 0;
    m_answerer.SetAnswer(
        [&](const SeenBox&) { return ++alerts < 3 ? QMessageBox::Ok : QMessageBox::Cancel; });
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return alerts >= 3; }));
        const int polls = CountCommand(Supply(), "REQA\r");
        ProcessEventsFor(1000);
        // Polls go on after Cancel, but no further alert.
        EXPECT_GT(CountCommand(Supply(), "REQA\r"), polls);
    });
    ASSERT_EQ(m_answerer.Seen().size(), 3u);
    for (const auto& box : m_answerer.Seen()) {
        EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_TRUE(box.overPanel);
    }
    EXPECT_EQ(Commands(Supply()).back(), "RST\r");
}

class PanelWithRecoveringSupply : public RunningPanel {
protected:
    static SimConfig Recovering() {
        // Answers the identity request, stops answering once the output is on and the polls
        // have begun, then answers again from the ninth command on.
        SimConfig config;
        config.stopAnsweringAfter = 1;
        config.resumeAnsweringAt = 9;
        return config;
    }
    PanelWithRecoveringSupply() : RunningPanel(Recovering()) {}
};

TEST_F(PanelWithRecoveringSupply, PollsGoOnBehindTheOpenAlertAndShowTheRecovery) {
    m_answerer.SetAnswer([](const SeenBox&) { return QMessageBox::NoButton; });
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !m_answerer.Seen().empty(); }));
        const int pollsWhenShown = CountCommand(Supply(), "REQA\r");
        ASSERT_TRUE(ProcessEventsUntil([&] {
            return CountCommand(Supply(), "REQA\r") >= pollsWhenShown + 6 &&
                   !ControlText(m_panel, "IDC_POS_CURRENT").isEmpty();
        }));
        ASSERT_TRUE(m_answerer.LastBox());
        EXPECT_TRUE(m_answerer.LastBox()->isVisible()) << "the alert is still open";
        EXPECT_EQ(m_answerer.Seen().size(), 1u) << "no second alert while it is open";
        qobject_cast<QMessageBox*>(m_answerer.LastBox())->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(m_answerer.Seen().size(), 1u);
}

TEST_F(RunningPanel, NoTickFollowsTheCloseRequest) {
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return CountCommand(Supply(), "REQA\r") >= 2; }));
        m_panel.close();
        // A tick now would find the port closed, fail its poll and raise the alert.
        ProcessEventsFor(700);
    });
    EXPECT_TRUE(m_answerer.Seen().empty());
    ExpectResetLastAndPortFree(Supply());
}

TEST_F(RunningPanel, EscapeRunsTheClosingSequence) {
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        QTest::keyClick(&m_panel, Qt::Key_Escape);
        EXPECT_FALSE(m_panel.isVisible());
    });
    ExpectResetLastAndPortFree(Supply());
}

class PanelEndedBySignal : public RunningPanel, public ::testing::WithParamInterface<int> {};

TEST_P(PanelEndedBySignal, RunsTheClosingSequence) {
    QuitSignals quitSignals([this] { m_panel.close(); });
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        std::raise(GetParam());
        EXPECT_TRUE(ProcessEventsUntil([&] { return !m_panel.isVisible(); }));
    });
    ExpectResetLastAndPortFree(Supply());
}

INSTANTIATE_TEST_SUITE_P(QuitSignals, PanelEndedBySignal,
                         ::testing::ValuesIn(pelmora::kStopSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });
INSTANTIATE_TEST_SUITE_P(RealTimeSignals, PanelEndedBySignal, ::testing::Values(SIGRTMIN, SIGRTMAX),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

class PanelEndedBySignalUnderTheAlert : public PanelWithFailingSupply,
                                        public ::testing::WithParamInterface<int> {};

TEST_P(PanelEndedBySignalUnderTheAlert, RunsTheClosingSequence) {
    m_answerer.SetAnswer([](const SeenBox&) { return QMessageBox::NoButton; });
    QuitSignals quitSignals([this] { m_panel.close(); });
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !m_answerer.Seen().empty(); }));
        std::raise(GetParam());
        EXPECT_TRUE(ProcessEventsUntil([&] { return !m_panel.isVisible(); }));
    });
    EXPECT_FALSE(m_answerer.LastBox() && m_answerer.LastBox()->isVisible());
    ExpectResetLastAndPortFree(Supply());
}

INSTANTIATE_TEST_SUITE_P(QuitSignals, PanelEndedBySignalUnderTheAlert,
                         ::testing::ValuesIn(pelmora::kStopSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

class PanelOnAPortWithKernelModes : public RunningPanel {
protected:
    static SimConfig KernelModesAndXoff() {
        // A port as the kernel leaves it, and a device that sends XOFF after every reply.
        SimConfig config;
        config.kernelModes = true;
        config.xoffAfterReplies = true;
        return config;
    }
    PanelOnAPortWithKernelModes() : RunningPanel(KernelModesAndXoff()) {}
};

TEST_F(PanelOnAPortWithKernelModes, CommandsStillReachTheSupplyAndClosingSwitchesItOff) {
    RunPanel(m_panel, [&] {
        OnOff(m_panel)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return CountCommand(Supply(), "REQA\r") >= 3; }));
        EXPECT_EQ(CountCommand(Supply(), "V010010\r"), 1);
    });
    ExpectResetLastAndPortFree(Supply());
    EXPECT_EQ(CountCommand(Supply(), "RST\r"), 2);
}

TEST_F(RunningPanel, EnterNeverEndsThePanel) {
    RunPanel(m_panel, [&] {
        QTest::keyClick(&m_panel, Qt::Key_Return);
        QTest::keyClick(List(m_panel, "IDC_POS_VOLTAGE"), Qt::Key_Enter);
        ProcessEventsFor(50);
        EXPECT_TRUE(m_panel.isVisible());
    });
}

TEST_F(RunningPanel, AboutBoxOpensFromAnyAboutCommandId) {
    RunPanel(m_panel, [&] {
        m_panel.OnSysCommand(0x0013, 0);
        m_panel.OnSysCommand(0xF010, 0); // a move: not ours to handle
        EXPECT_TRUE(m_panel.isVisible());
    });
    ASSERT_EQ(m_answerer.CountOf(QStringLiteral("CAboutDlg")), 1);
    EXPECT_TRUE(m_answerer.Seen().front().overPanel);
}

TEST_F(RunningPanel, ContextMenuOffersReconnectionWhileNotConnectedAndTheAboutEntry) {
    QStringList offered;
    RunPanel(m_panel, [&] {
        offered = ChooseFromContextMenu(m_panel, QStringLiteral("バージョン情報 Pelmora(&A)..."));
    });
    EXPECT_EQ(offered,
              (QStringList{QStringLiteral("電流グラフ"), QStringLiteral("記録を開始…"),
                           QStringLiteral("過電流保護…"), QStringLiteral("シーケンス実行…"),
                           QStringLiteral("再接続 (off)"),
                           QStringLiteral("バージョン情報 Pelmora(&A)...")}));
    EXPECT_EQ(m_answerer.CountOf(QStringLiteral("CAboutDlg")), 1);
}

TEST_F(RunningPanel, ShiftF10OpensTheSameMenuAsTheMenuKeyWhereverTheFocusIs) {
    RunPanel(m_panel, [&] {
        for (const char* control : {"IDC_ONOFF", "IDC_POS_VOLTAGE", "IDC_NEG_CURRENT"}) {
            // A closed menu leaves no window active on this test platform: each key starts
            // from a click into the control.
            const auto offeredBy = [&](MenuKey key) {
                FocusByClick(m_panel.findChild<QWidget*>(control));
                return ChooseFromContextMenu(m_panel, QString(), key);
            };
            const QStringList fromMenuKey = offeredBy(MenuKey::Menu);
            EXPECT_FALSE(fromMenuKey.isEmpty()) << control;
            EXPECT_EQ(offeredBy(MenuKey::ShiftF10), fromMenuKey) << control;
            if (std::string_view(control) == "IDC_ONOFF") {
                EXPECT_TRUE(fromMenuKey.contains(QStringLiteral("電流グラフ")));
            }
        }
        EXPECT_TRUE(m_panel.isVisible());
    });
    EXPECT_TRUE(m_answerer.Seen().empty());
}

TEST_F(RunningPanel, F1SaysWhereTheHelpPageIsWhenItCannotBeOpened) {
    const QString page = CSupplyApp::HelpPagePath();
    ASSERT_FALSE(QFileInfo::exists(page));
    RunPanel(m_panel, [&] {
        QTest::keyClick(&m_panel, Qt::Key_F1);
        // Installed, but no browser can be started: the offscreen platform has none.
        const QFileInfo installed(page);
        QDir().mkpath(installed.absolutePath());
        QFile file(page);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        QTest::keyClick(&m_panel, Qt::Key_F1);
        QFile::remove(page);
        QDir().rmpath(installed.absolutePath());
    });
    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_EQ(m_answerer.Seen()[0].text,
              QStringLiteral("Failed to launch help.\nThe help page is not installed; it belongs "
                             "at:\n%1")
                  .arg(page));
    EXPECT_EQ(m_answerer.Seen()[1].text,
              QStringLiteral("Failed to launch help.\nOpen the help page in a web browser:\n%1")
                  .arg(page));
}

TEST(PanelWithoutSupply, CloseRequestDuringStartUpEndsThePanelUnshown) {
    std::optional<QuitSignals> quitSignals;
    CSupplyPanelDlg panel;
    quitSignals.emplace([&panel] { panel.close(); });
    // The termination signal arrives while the not-found box is up.
    ModalAnswerer answerer([](const SeenBox&) {
        std::raise(SIGTERM);
        return QMessageBox::Ok;
    });
    ListedPorts listed("COM1=/nonexistent/ttyUSB0");
    bool everShown = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (panel.isVisible()) {
            everShown = true;
            panel.close();
        }
    });
    watcher.start(1);
    EXPECT_EQ(panel.exec(), QDialog::Rejected);
    EXPECT_FALSE(everShown);
    EXPECT_EQ(answerer.Seen().size(), 1u);
}

TEST(PanelWithoutSupply, RunsOnAndAlertsOnceSwitchedOn) {
    ModalAnswerer answerer([](const SeenBox&) { return QMessageBox::Cancel; });
    ListedPorts listed("COM1=/nonexistent/ttyUSB0");
    CSupplyPanelDlg panel;
    RunPanel(panel, [&] {
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(panel.windowTitle(), QStringLiteral("未接続 \u2014 PelmoraPn99 v1.0"));
        OnOff(panel)->click();
        EXPECT_EQ(LampCentre(panel), kLampOnRed);
        ASSERT_TRUE(ProcessEventsUntil([&] { return answerer.Seen().size() == 2; }));
        EXPECT_EQ(answerer.Seen()[1].text, answerer.Seen()[0].text);
    });
}
