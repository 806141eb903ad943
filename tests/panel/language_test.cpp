#include "app/supply_app.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// The panel in English, as `--lang en`, PELMORA_LANG=en or an English locale gives it.
class EnglishPanel : public ::testing::Test {
protected:
    EnglishPanel() {
        App().UseLanguage("en");
        m_panel = std::make_unique<CSupplyPanelDlg>();
    }
    ~EnglishPanel() override { App().UseLanguage("ja"); }
    static CSupplyApp& App() { return *static_cast<CSupplyApp*>(qApp); }

    QStringList Texts(const QStringList& classes) {
        QStringList texts;
        for (auto* widget : m_panel->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(m_panel.get())) {
                continue;
            }
            if (auto* group = qobject_cast<QGroupBox*>(widget);
                group && classes.contains("group")) {
                texts << group->title();
            } else if (auto* label = qobject_cast<QLabel*>(widget);
                       label && classes.contains("label")) {
                texts << label->text();
            }
        }
        texts.sort();
        return texts;
    }

    ModalAnswerer m_answerer;
    ListedPorts m_listed{"COM1=/nonexistent/ttyUSB0"};
    std::unique_ptr<CSupplyPanelDlg> m_panel;
};

} // namespace

TEST_F(EnglishPanel, EveryTextTheUserSeesIsEnglish) {
    QStringList menu;
    RunPanel(*m_panel, [&] {
        EXPECT_EQ(Texts({"group"}), (QStringList{"Negative", "Positive"}));
        EXPECT_EQ(Texts({"label"}), (QStringList{"Not connected", "Output",
                                                 "Over-current protection: off", "[mA]", "[mA]"}));
        EXPECT_EQ(m_panel->windowTitle(), QStringLiteral("Not connected \u2014 PelmoraPn99 v1.0"));
        menu = ChooseFromContextMenu(*m_panel, QStringLiteral("&About Pelmora..."));
    });
    EXPECT_EQ(menu, (QStringList{"Current graph", "Start recording…", "Over-current protection…",
                                 "Run sequence… (off)", "Reconnect", "&About Pelmora..."}));
    ASSERT_EQ(m_answerer.Seen().size(), 2u);
    EXPECT_TRUE(m_answerer.Seen()[0].text.startsWith("The USB power supply cannot be found. \r\n"));
    EXPECT_TRUE(m_answerer.Seen()[0].text.endsWith(
        "(5) Check that the application has not been started twice. \r\n"));
    EXPECT_EQ(m_answerer.Seen()[1].title, QStringLiteral("About Pelmora"));
}

TEST_F(EnglishPanel, TheProtectionDialogIsEnglish) {
    QStringList texts;
    m_answerer.SetAnswer([&](const SeenBox& seen) {
        texts << seen.title;
        for (auto* label : seen.dialog->findChildren<QLabel*>()) {
            texts << label->text();
        }
        return QMessageBox::Ok;
    });
    RunPanel(*m_panel, [&] { ChooseFromContextMenu(*m_panel, "Over-current protection…"); });
    EXPECT_TRUE(texts.contains("Over-current protection"));
    EXPECT_TRUE(texts.contains("Consecutive samples"));
    EXPECT_TRUE(texts.contains("Not tripped"));
}

TEST_F(EnglishPanel, EveryLabelShowsItsTextWhole) {
    RunPanel(*m_panel, [&] {
        for (auto* label : m_panel->findChildren<QLabel*>()) {
            if (!label->isVisible()) {
                continue;
            }
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                      label->contentsRect().width())
                << label->objectName().toStdString();
            EXPECT_TRUE(m_panel->rect().contains(label->geometry()))
                << label->objectName().toStdString();
        }
    });
}

TEST_F(EnglishPanel, QtsOwnButtonsAreEnglishToo) {
    QStringList buttons;
    m_answerer.SetAnswer([&](const SeenBox& seen) {
        for (auto* button : seen.dialog->findChildren<QPushButton*>()) {
            buttons << button->text();
        }
        return QMessageBox::Ok;
    });
    RunPanel(*m_panel, [&] { ChooseFromContextMenu(*m_panel, "Over-current protection…"); });
    EXPECT_TRUE(buttons.contains("Cancel")) << buttons.join('|').toStdString();
}

// Qt's own texts follow the panel's language: the buttons of its boxes, its file dialog.
TEST(JapanesePanel, QtsOwnTextsAreJapaneseToo) {
    QStringList protectionButtons;
    QStringList fileDialogTexts;
    ModalAnswerer answerer([&](const SeenBox& seen) {
        QStringList& texts =
            seen.className == QStringLiteral("QFileDialog") ? fileDialogTexts : protectionButtons;
        for (auto* button : seen.dialog->findChildren<QPushButton*>()) {
            texts << button->text();
        }
        for (auto* label : seen.dialog->findChildren<QLabel*>()) {
            texts << label->text();
        }
        return QMessageBox::Cancel;
    });
    ListedPorts listed("COM1=/nonexistent/ttyUSB0");
    CSupplyPanelDlg panel;
    RunPanel(panel, [&] {
        ChooseFromContextMenu(panel, QStringLiteral("過電流保護…"));
        ChooseFromContextMenu(panel, QStringLiteral("記録を開始…"));
    });
    EXPECT_TRUE(protectionButtons.contains(QStringLiteral("キャンセル")))
        << protectionButtons.join('|').toStdString();
    EXPECT_TRUE(fileDialogTexts.contains(QStringLiteral("ファイル名(&N):")))
        << fileDialogTexts.join('|').toStdString();
}

TEST(JapanesePanel, IsTheDefault) {
    ModalAnswerer answerer;
    ListedPorts listed("COM1=/nonexistent/ttyUSB0");
    CSupplyPanelDlg panel;
    RunPanel(panel, [&] {
        EXPECT_EQ(panel.windowTitle(), QStringLiteral("未接続 \u2014 PelmoraPn99 v1.0"));
    });
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_TRUE(answerer.Seen()[0].text.startsWith(QStringLiteral("USB電源が見つかりません。")));
}
