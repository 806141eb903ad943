#include "panel/not_found_message.h"
#include "tests/panel/input_events.h"
#include "tests/panel/protection_input.h"
#include "tests/panel/sequence_fixture.h"

#include <QApplication>
#include <QPushButton>

using pelmora::sim::SimConfig;
namespace fs = std::filesystem;

namespace {

// A program far longer than any test, so that only Stop or Escape ends it.
const std::string kLongProgram = "60,5,-5\n60,12,-12\n";

TEST_F(Sequences, TheProgressWindowSitsBesideThePanelWithItsTitleWhole) {
    RunPanel(m_panel, [&] {
        Run(Write("long.csv", kLongProgram));
        ASSERT_NE(Progress(), nullptr);
        const QRect window = Progress()->frameGeometry();
        EXPECT_FALSE(window.intersects(m_panel.frameGeometry()))
            << "the progress window covers the panel's controls";
        // The title bar holds the title beside an icon and three buttons of about a line each.
        const QFontMetrics metrics = Progress()->fontMetrics();
        EXPECT_GE(Progress()->width(),
                  metrics.horizontalAdvance(Progress()->windowTitle()) + 4 * metrics.height());
        EXPECT_EQ(Progress()->windowTitle(), QStringLiteral("シーケンス実行"));
    });
}

// What is open over the panel while the program runs, and how the user ends the program.
enum class OverThePanel { ProtectionDialog, AboutBox };
enum class EndedBy { Stop, Escape };
struct BoxAndWay {
    OverThePanel box;
    EndedBy way;
};

class SequenceUnderABox : public Sequences, public ::testing::WithParamInterface<BoxAndWay> {
protected:
    // Ends the program from its own window, with a click on Stop or the Escape key.
    void EndTheProgram() {
        QDialog* progress = Progress();
        ASSERT_NE(progress, nullptr);
        if (GetParam().way == EndedBy::Stop) {
            ClickMiddle(progress->findChild<QPushButton*>(QStringLiteral("stop")));
        } else {
            Key(progress, Qt::Key_Escape);
        }
    }
};

TEST_P(SequenceUnderABox, StopsFromItsOwnWindowWhileTheBoxStaysOpen) {
    bool endedUnderTheBox = false;
    std::vector<std::string> sentUnderTheBox;
    bool boxStillOpen = false;
    // Ends the program while `box` is open, and notes what that did.
    const auto endUnder = [&](QDialog* box) {
        EndTheProgram();
        endedUnderTheBox = Progress() == nullptr;
        sentUnderTheBox = SettingsSent();
        boxStillOpen = box->isVisible();
        box->reject();
    };
    const auto leaveOpen = [&](const SeenBox& seen) {
        QPointer<QDialog> box = seen.dialog;
        QMetaObject::invokeMethod(
            box, [box, &endUnder] { endUnder(box); }, Qt::QueuedConnection);
        return QMessageBox::NoButton;
    };
    RunPanel(m_panel, [&] {
        Run(Write("long.csv", kLongProgram));
        ASSERT_NE(Progress(), nullptr);
        // Back to the panel, from the program's window that opened over it.
        FocusByClick(&m_panel);
        switch (GetParam().box) {
        case OverThePanel::ProtectionDialog:
            m_answerer.SetAnswer([&](const SeenBox& seen) { return leaveOpen(seen); });
            ChooseFromContextMenu(m_panel, QStringLiteral("過電流保護…"));
            break;
        case OverThePanel::AboutBox:
            m_answerer.SetAnswer([&](const SeenBox& seen) { return leaveOpen(seen); });
            ChooseFromContextMenu(m_panel, QStringLiteral("バージョン情報 Pelmora(&A)..."));
            break;
        }
        EXPECT_TRUE(endedUnderTheBox) << "the box blocked the program's window";
        EXPECT_TRUE(boxStillOpen);
        EXPECT_EQ(sentUnderTheBox, (std::vector<std::string>{Voltages("050", "050"), kReset}));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(Unlocked());
    });
}

INSTANTIATE_TEST_SUITE_P(Boxes, SequenceUnderABox,
                         ::testing::Values(BoxAndWay{OverThePanel::ProtectionDialog, EndedBy::Stop},
                                           BoxAndWay{OverThePanel::ProtectionDialog,
                                                     EndedBy::Escape},
                                           BoxAndWay{OverThePanel::AboutBox, EndedBy::Stop},
                                           BoxAndWay{OverThePanel::AboutBox, EndedBy::Escape}));

class SilentDuringAProgram : public Sequences {
protected:
    static SimConfig Config() {
        SimConfig config;
        // The identity, the reset and the program's first voltages are answered; the polls
        // after them are not.
        config.stopAnsweringAfter = 3;
        return config;
    }
    SilentDuringAProgram() : Sequences(Config()) {}
};

TEST_F(SilentDuringAProgram, TheProgramEndsWithTheOutputOffWhenTheAlertOpens) {
    bool programOverAtTheAlert = false;
    std::vector<std::string> sentByTheAlert;
    RunPanel(m_panel, [&] {
        Run(Write("long.csv", kLongProgram), [&](const SeenBox& seen) {
            if (seen.text == NotFoundMessage()) {
                programOverAtTheAlert = Progress() == nullptr;
                sentByTheAlert = SettingsSent();
            }
            return QMessageBox::Ok;
        });
        ASSERT_TRUE(ProcessEventsUntil([&] { return !sentByTheAlert.empty(); }));
        EXPECT_TRUE(programOverAtTheAlert) << "the program went on with the protection blind";
        EXPECT_EQ(sentByTheAlert, (std::vector<std::string>{Voltages("050", "050"), kReset}));
        EXPECT_EQ(LampCentre(m_panel), kLampOffGrey);
        EXPECT_TRUE(Unlocked());
    });
}

} // namespace
