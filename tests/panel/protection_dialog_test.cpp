#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"
#include "tests/panel/protection_input.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextLayout>
#include <gtest/gtest.h>

using pelmora::sim::SimConfig;

namespace {

const QString kProtection = QStringLiteral("過電流保護…");

// What the user saw in the dialog after one thing typed.
struct Look {
    QString text;
    bool okEnabled = false;
    QString problems;
};

SimConfig Quiet() {
    SimConfig config;
    config.noiseMa = 0;
    return config;
}

SimConfig ShortedAfterTwoSeconds() {
    SimConfig config = Quiet();
    config.loadChanges.push_back({std::chrono::milliseconds(2000), pelmora::sim::kShortOhms,
                                  pelmora::sim::kDefaultLoadOhms});
    return config;
}

SimConfig Shorted() {
    SimConfig config = Quiet();
    config.positiveLoadOhms = pelmora::sim::kShortOhms;
    return config;
}

class ProtectionDialog : public ::testing::Test {
protected:
    explicit ProtectionDialog(SimConfig config = Quiet()) : m_sim(std::move(config)) {}

    // Answers the protection dialog, from inside its loop, with `fill`.
    void OpenDialog(const std::function<void(QDialog&)>& fill) {
        m_answerer.SetAnswer([fill](const SeenBox& seen) {
            if (seen.className != QStringLiteral("COverCurrentDlg")) {
                return QMessageBox::Ok;
            }
            QPointer<QDialog> dialog = seen.dialog;
            QMetaObject::invokeMethod(
                dialog,
                [dialog, fill] {
                    fill(*dialog);
                    // Never left waiting for a user, whatever went wrong.
                    if (dialog && dialog->isVisible()) {
                        dialog->reject();
                    }
                },
                Qt::QueuedConnection);
            return QMessageBox::NoButton;
        });
        ChooseFromContextMenu(m_panel,
                              QCoreApplication::translate("CSupplyPanelDlg", "過電流保護…"));
    }
    bool Tripped() { return m_panel.windowTitle().contains(QStringLiteral("トリップ")); }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    CSupplyPanelDlg m_panel;
};

class ProtectionDialogOfAFailingBoard : public ProtectionDialog {
protected:
    ProtectionDialogOfAFailingBoard() : ProtectionDialog(ShortedAfterTwoSeconds()) {}
};

class ProtectionOfAShortedBoard : public ProtectionDialog {
protected:
    ProtectionOfAShortedBoard() : ProtectionDialog(Shorted()) {}
};

// Types `text` over what the field held, as a user does after selecting it all.
Look Retype(QDialog& dialog, const char* field, const QString& text) {
    auto* edit = dialog.findChild<QWidget*>(QString::fromLatin1(field));
    FocusByClick(edit);
    Key(edit, Qt::Key_A, Qt::ControlModifier);
    TypeText(edit, text);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    auto* problems = dialog.findChild<QLabel*>(QStringLiteral("problems"));
    return {edit->property("text").toString(), buttons->button(QDialogButtonBox::Ok)->isEnabled(),
            problems && problems->isVisible() ? problems->text() : QString()};
}

// Whether some width of the text's lines would start a line with a unit, apart from its number.
bool SomeLineStartsWithAUnit(const QString& text, const QFont& font) {
    constexpr int kNarrowest = 20;
    constexpr int kWidest = 800;
    for (int width = kNarrowest; width <= kWidest; ++width) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (text.mid(line.textStart()).startsWith(QStringLiteral("mA"))) {
                layout.endLayout();
                return true;
            }
        }
        layout.endLayout();
    }
    return false;
}

} // namespace

TEST_F(ProtectionDialog, RefusesWhatItCannotTakeSayingWhyInsteadOfChangingIt) {
    std::vector<Look> looks;
    bool openAfterEnter = false;
    RunPanel(m_panel, [&] {
        OpenDialog([&](QDialog& dialog) {
            looks.push_back(Retype(dialog, "positiveLimit", QStringLiteral("999")));
            Key(&dialog, Qt::Key_Return);
            openAfterEnter = dialog.isVisible();
            if (!openAfterEnter) {
                return;
            }
            looks.push_back(Retype(dialog, "positiveLimit", QStringLiteral("1000")));
            looks.push_back(Retype(dialog, "positiveLimit", QStringLiteral("0")));
            looks.push_back(Retype(dialog, "positiveLimit", QStringLiteral("abc")));
            looks.push_back(Retype(dialog, "positiveLimit", QStringLiteral("500")));
            looks.push_back(Retype(dialog, "samples", QStringLiteral("11")));
            looks.push_back(Retype(dialog, "samples", QStringLiteral("3")));
            looks.push_back(Retype(dialog, "blanking", QStringLiteral("0.55")));
            looks.push_back(Retype(dialog, "blanking", QStringLiteral("0.5")));
            // Up and Down step the field's last place.
            auto* limit = dialog.findChild<QWidget*>(QStringLiteral("positiveLimit"));
            FocusByClick(limit);
            Key(limit, Qt::Key_Up);
            Key(limit, Qt::Key_Up);
            Key(limit, Qt::Key_Down);
            auto* enabled = dialog.findChild<QWidget*>(QStringLiteral("positiveEnabled"));
            FocusByClick(enabled);
            Key(enabled, Qt::Key_Space);
            Key(&dialog, Qt::Key_Return);
        });
        EXPECT_TRUE(m_panel.windowTitle().contains(QStringLiteral("保護 正 501\u00a0mA / 負 なし")))
            << m_panel.windowTitle().toStdString();
    });
    EXPECT_TRUE(openAfterEnter) << "Enter took a limit the protection cannot have";
    const QString limitRule = QStringLiteral("正側の制限値には 1〜998 の整数を入力してください。");
    ASSERT_EQ(looks.size(), 9u);
    for (std::size_t i : {0u, 1u, 2u, 3u}) {
        EXPECT_FALSE(looks[i].okEnabled) << looks[i].text.toStdString();
        EXPECT_EQ(looks[i].problems, limitRule) << looks[i].text.toStdString();
    }
    EXPECT_EQ(looks[0].text, QStringLiteral("999"));
    EXPECT_EQ(looks[1].text, QStringLiteral("1000"));
    EXPECT_EQ(looks[2].text, QStringLiteral("0"));
    EXPECT_EQ(looks[3].text, QStringLiteral("abc"));
    EXPECT_TRUE(looks[4].okEnabled);
    EXPECT_EQ(looks[4].problems, QString());
    EXPECT_EQ(looks[5].problems,
              QStringLiteral("連続サンプル数には 1〜10 の整数を入力してください。"));
    EXPECT_TRUE(looks[6].okEnabled);
    EXPECT_EQ(looks[7].problems, QStringLiteral("投入後の待ち時間には 0.0〜10.0 の数を小数点以下 "
                                                "1 桁までで入力してください。"));
    EXPECT_TRUE(looks[8].okEnabled);
}

TEST_F(ProtectionDialogOfAFailingBoard, ShowsATripThatHappensWhileItIsOpen) {
    QString tripShown;
    bool clearOffered = false;
    RunPanel(m_panel, [&] {
        m_answerer.SetAnswer(FillingProtection(
            {.positiveOn = true, .positiveMa = 100, .samples = 1, .delaySeconds = 0}));
        ChooseFromContextMenu(m_panel, kProtection);
        Key(&m_panel, Qt::Key_Return);
        ASSERT_EQ(LampCentre(m_panel), kLampOnRed);
        // Left open while the board fails.
        OpenDialog([&](QDialog& dialog) {
            auto* trip = dialog.findChild<QLabel*>(QStringLiteral("trip"));
            // The trip's own box, over the panel and the dialog, is answered first.
            ProcessEventsUntil([&] {
                QDialog* last = m_answerer.LastBox();
                return Tripped() && last != &dialog && (!last || !last->isVisible());
            });
            tripShown = trip->text();
            auto* clear = dialog.findChild<QPushButton*>(QStringLiteral("clear"));
            clearOffered = clear->isEnabled();
            if (clearOffered) {
                ClickMiddle(clear);
            }
            Key(&dialog, Qt::Key_Return);
        });
        EXPECT_FALSE(Tripped()) << "the trip was cleared in the dialog";
        Key(&m_panel, Qt::Key_Return);
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed);
    });
    EXPECT_TRUE(tripShown.startsWith(QStringLiteral("トリップ: 正側 999\u00a0mA > 100\u00a0mA")))
        << tripShown.toStdString();
    EXPECT_TRUE(clearOffered);
}

TEST_F(ProtectionOfAShortedBoard, TheEnglishTripMessageKeepsEachNumberWithItsUnit) {
    const InEnglish english;
    RunPanel(m_panel, [&] {
        m_answerer.SetAnswer(FillingProtection(
            {.positiveOn = true, .positiveMa = 100, .samples = 1, .delaySeconds = 0}));
        ChooseFromContextMenu(m_panel, QStringLiteral("Over-current protection…"));
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil([&] { return m_answerer.Seen().size() >= 2; }));
    });
    const QString message = m_answerer.Seen().back().text;
    EXPECT_TRUE(message.startsWith(
        QStringLiteral("The over-current protection switched the output off: Positive rail "
                       "999\u00a0mA > 100\u00a0mA (")))
        << message.toStdString();
    EXPECT_FALSE(SomeLineStartsWithAUnit(message, QApplication::font("QMessageBox")));
}
