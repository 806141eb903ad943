#include "panel/drop_down_list.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Every input path below must leave each rail's field showing the entry of the code the supply
// has (output on) or will get (output off), and the wire must agree with the field.
class VoltageField : public ::testing::Test {
protected:
    CDropDownList& Pos() { return *m_panel.findChild<CDropDownList*>("IDC_POS_VOLTAGE"); }
    CDropDownList& Neg() { return *m_panel.findChild<CDropDownList*>("IDC_NEG_VOLTAGE"); }
    QPushButton& OnOff() { return *m_panel.findChild<QPushButton*>("IDC_ONOFF"); }
    pelmora::sim::SimulatedSupply& Supply() { return m_sim.supply; }
    // What went to the supply besides the polls, which come and go with the output.
    std::vector<std::string> Settings() {
        std::vector<std::string> settings;
        for (auto& command : Commands(Supply())) {
            if (command != "REQA\r") {
                settings.push_back(std::move(command));
            }
        }
        return settings;
    }
    std::string LastCommand() { return Settings().back(); }
    std::size_t Sent() { return Settings().size(); }

    // Sets the rails by clicking entries, then switches on: the wire has the pair.
    void ChooseThenSwitchOn(int pos, int neg) {
        ClickArrow(Pos());
        ClickEntry(Pos(), pos);
        ClickArrow(Neg());
        ClickEntry(Neg(), neg);
        Click(&OnOff(), OnOff().rect().center());
    }

    void Run(const std::function<void()>& test) {
        RunPanel(m_panel, [&] {
            FocusByClick(&OnOff());
            test();
        });
    }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    CSupplyPanelDlg m_panel;
};

} // namespace

TEST_F(VoltageField, TypingIsNotTaken) {
    Run([&] {
        FocusByClick(&Pos());
        const auto sent = Sent();
        for (const auto key : {Qt::Key_8, Qt::Key_V, Qt::Key_Backspace, Qt::Key_Delete}) {
            Key(&Pos(), key);
        }
        EXPECT_EQ(Pos().currentText(), QStringLiteral("1V"));
        EXPECT_EQ(Sent(), sent);
        Click(&OnOff(), OnOff().rect().center());
        EXPECT_EQ(LastCommand(), "V010010\r");
    });
}

TEST_F(VoltageField, ArrowKeysStepTheRailAsAChoice) {
    Run([&] {
        FocusByClick(&Pos());
        Key(&Pos(), Qt::Key_Down);
        Key(&Pos(), Qt::Key_Down);
        EXPECT_EQ(Pos().currentText(), QStringLiteral("2V"));
        Click(&OnOff(), OnOff().rect().center());
        EXPECT_EQ(LastCommand(), "V020010\r");

        // While on, each step goes out at once.
        FocusByClick(&Neg());
        Key(&Neg(), Qt::Key_Down);
        EXPECT_EQ(Neg().currentText(), QStringLiteral("-1.5V"));
        EXPECT_EQ(LastCommand(), "V020015\r");
        Key(&Neg(), Qt::Key_Up);
        Key(&Neg(), Qt::Key_Up); // already at the first step: nothing more
        EXPECT_EQ(Neg().currentText(), QStringLiteral("-1V"));
        EXPECT_EQ(LastCommand(), "V020010\r");
    });
}

TEST_F(VoltageField, WheelStepsOnlyTheFocusedRail) {
    Run([&] {
        Click(&OnOff(), OnOff().rect().center());
        const auto sent = Sent();
        // The pointer passing over a live rail while scrolling must not change it.
        Wheel(&Pos(), -2);
        EXPECT_EQ(Pos().currentText(), QStringLiteral("1V"));
        EXPECT_EQ(Sent(), sent);

        FocusByClick(&Pos());
        Wheel(&Pos(), -1);
        EXPECT_EQ(Pos().currentText(), QStringLiteral("1.5V"));
        EXPECT_EQ(LastCommand(), "V015010\r");
    });
}

TEST_F(VoltageField, ReturnInAFieldNeverSwitchesTheOutput) {
    Run([&] {
        FocusByClick(&Pos());
        const auto sent = Sent();
        Key(&Pos(), Qt::Key_Return);
        Key(&Pos(), Qt::Key_Enter);
        EXPECT_EQ(Sent(), sent);
        EXPECT_EQ(Pos().currentText(), QStringLiteral("1V"));
        EXPECT_TRUE(m_panel.isVisible());
    });
}

TEST_F(VoltageField, ClosingAListWithoutAChoiceKeepsTheRail) {
    Run([&] {
        ChooseThenSwitchOn(10, 7);
        ASSERT_EQ(LastCommand(), "V080050\r");

        const std::vector<std::pair<const char*, std::function<void()>>> dismissals = {
            {"Escape", [&] { Key(&Pos(), Qt::Key_Escape); }},
            {"F4", [&] { Key(&Pos(), Qt::Key_F4); }},
            {"Alt+Down", [&] { Key(&Pos(), Qt::Key_Down, Qt::AltModifier); }},
            {"the arrow again", [&] { ClickArrow(Pos()); }},
            {"a click elsewhere", [&] { Click(&m_panel, QPoint(5, 5)); }},
            {"a click on the other list", [&] { ClickMiddle(&Neg()); }},
        };
        for (const auto& [name, dismiss] : dismissals) {
            SCOPED_TRACE(name);
            FocusByClick(&Pos());
            ClickArrow(Pos());
            ASSERT_TRUE(IsListOpen(Pos()));
            // Opening shows the first entry, as the panel always has.
            EXPECT_EQ(Pos().currentText(), QStringLiteral("1V"));
            dismiss();
            ProcessEventsUntil([&] { return !IsListOpen(Pos()); });
            ProcessEventsFor(50);
            EXPECT_FALSE(IsListOpen(Pos()));
            EXPECT_EQ(Pos().currentText(), QStringLiteral("8V"));
            EXPECT_EQ(LastCommand(), "V080050\r");
        }
        // Focus moving on afterwards changes nothing either.
        Key(&Pos(), Qt::Key_Tab);
        FocusByClick(&OnOff());
        EXPECT_EQ(Pos().currentText(), QStringLiteral("8V"));
        EXPECT_EQ(LastCommand(), "V080050\r");
    });
}

TEST_F(VoltageField, KeyboardChoiceInTheOpenListGoesOutAtOnce) {
    Run([&] {
        ChooseThenSwitchOn(0, 0);
        FocusByClick(&Neg());
        Key(&Neg(), Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(IsListOpen(Neg()));
        // Moving through the open list only highlights; Return makes the choice.
        Key(&Neg(), Qt::Key_Down);
        Key(&Neg(), Qt::Key_Down);
        EXPECT_EQ(LastCommand(), "V010010\r");
        Key(&Neg(), Qt::Key_Return);
        ProcessEventsFor(50);
        EXPECT_FALSE(IsListOpen(Neg()));
        EXPECT_EQ(Neg().currentText(), QStringLiteral("-2V"));
        EXPECT_EQ(LastCommand(), "V010020\r");
        EXPECT_TRUE(m_panel.isVisible());
    });
}

TEST_F(VoltageField, AHeldKeyTogglesTheOutputOnce) {
    Run([&] {
        for (const auto key : {Qt::Key_Return, Qt::Key_Space}) {
            FocusByClick(&OnOff());
            auto sent = Sent();
            HoldKey(&OnOff(), key, 10);
            EXPECT_EQ(Sent(), sent + 1) << "key " << key;
            sent = Sent();
            HoldKeyUnmarked(key, 10);
            EXPECT_EQ(Sent(), sent + 1) << "key " << key << ", repeats not marked";
        }
        // From a current box, Return goes to the panel's default button: the same there.
        FocusByClick(m_panel.findChild<QLineEdit*>("IDC_POS_CURRENT"));
        auto sent = Sent();
        HoldKey(&OnOff(), Qt::Key_Return, 10);
        EXPECT_EQ(Sent(), sent + 1);
        sent = Sent();
        HoldKeyUnmarked(Qt::Key_Return, 10);
        EXPECT_EQ(Sent(), sent + 1);
        EXPECT_EQ(Settings().back(), "RST\r");
    });
}
