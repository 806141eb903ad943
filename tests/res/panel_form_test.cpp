#include "link/voltage_table.h"
#include "panel/resource.h"
#include "tests/res/form_check.h"
#include "ui_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <array>
#include <gtest/gtest.h>

namespace {

using enum ControlKind;

// The panel's layout, in creation order. The first hint is reproduced character for character,
// with its ASCII quotes and parenthesis, the two characters \r and the full-width parenthesis.
constexpr std::array<ControlRow, 20> kPanelLayout{{
    {"IDC_ONOFF", IDC_ONOFF, DefaultButton, "ON/OFF", {105, 107, 42, 23}, true, true},
    {"IDC_POS_VOLTAGE", IDC_POS_VOLTAGE, EditableList, "", {35, 41, 35, 185}, true, true},
    {"IDC_NEG_VOLTAGE", IDC_NEG_VOLTAGE, EditableList, "", {109, 39, 34, 185}, true, true},
    {"IDC_POS_CURRENT", IDC_POS_CURRENT, ReadOnlyEdit, "", {32, 69, 23, 14}, true, true},
    {"IDC_NEG_CURRENT", IDC_NEG_CURRENT, ReadOnlyEdit, "", {109, 69, 23, 14}, true, true},
    {"IDC_COMMAND", IDC_COMMAND, Edit, "", {169, 95, 7, 16}, false, true},
    {"IDC_SEND", IDC_SEND, DefaultButton, "送信", {169, 71, 7, 18}, false, true},
    {"IDC_RESPONSE", IDC_RESPONSE, ReadOnlyMultiLine, "", {168, 7, 8, 12}, false, true},
    {"IDC_STATIC_HINT_EXAMPLE",
     IDC_STATIC,
     Text,
     "例えば\"REQPN\"と入力し(\"\\r\"は要らない）",
     {7, 19, 11, 13},
     false,
     false},
    {"IDC_STATIC_HINT_SEND",
     IDC_STATIC,
     Text,
     "「送信」をクリックした場合、",
     {7, 41, 17, 13},
     false,
     false},
    {"IDC_STATIC_HINT_REPLY",
     IDC_STATIC,
     Text,
     "ACKPNDRELVOV01と表示されたらOK。",
     {7, 67, 17, 14},
     false,
     false},
    {"IDC_STATIC_COMMAND_LABEL", IDC_STATIC, Text, "コマンド", {168, 118, 8, 14}, false, false},
    {"IDC_STATIC_WAIT_LABEL",
     IDC_STATIC,
     Text,
     "ホスト側ウエイト時間",
     {158, 54, 18, 12},
     false,
     false},
    {"IDC_WAIT_MS", IDC_WAIT_MS, Edit, "", {165, 32, 11, 16}, false, true},
    {"IDC_STATIC_WAIT_UNIT", IDC_STATIC, Text, "[ms]", {163, 21, 13, 12}, false, false},
    {"IDC_STATIC_POS_UNIT", IDC_STATIC, Text, "[mA]", {60, 71, 19, 11}, true, false},
    {"IDC_STATIC_NEG_UNIT", IDC_STATIC, Text, "[mA]", {137, 71, 19, 11}, true, false},
    {"IDC_STATIC_POS_GROUP", IDC_STATIC, GroupBox, "正電源", {22, 21, 66, 74}, true, false},
    {"IDC_STATIC_NEG_GROUP", IDC_STATIC, GroupBox, "負電源", {96, 22, 64, 73}, true, false},
    {"IDC_STATIC_OUTPUT_LABEL", IDC_STATIC, Text, "出力", {40, 115, 20, 15}, true, false},
}};

constexpr int kPanelWidthDialogUnits = 183;
constexpr int kPanelHeightDialogUnits = 149;

int CursorX(const QLineEdit& field) {
    return field.inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
}

class PanelFormTest : public ::testing::Test {
protected:
    PanelFormTest() { m_ui.setupUi(&m_panel); }

    void ShowActive() {
        m_panel.show();
        m_panel.activateWindow();
        QApplication::processEvents();
    }

    QDialog m_panel;
    Ui::IDD_PANEL m_ui;
};

TEST_F(PanelFormTest, ControlsFollowThePanelsLayout) {
    EXPECT_EQ(m_panel.objectName(), QStringLiteral("IDD_PANEL"));
    EXPECT_EQ(m_panel.windowTitle(), QStringLiteral("PelmoraPn99 v1.0"));
    EXPECT_EQ(m_panel.size(),
              QSize(ToPixels(kPanelWidthDialogUnits), ToPixels(kPanelHeightDialogUnits)));
    ExpectLayout(m_panel, kPanelLayout);
}

// Of the two buttons with the default style only the visible one can be the dialog's default:
// Enter in a box presses ON/OFF, never the hidden Send button.
TEST_F(PanelFormTest, EnterPressesTheOnOffButton) {
    ShowActive();
    int onOffClicks = 0;
    int sendClicks = 0;
    QObject::connect(m_ui.IDC_ONOFF, &QPushButton::clicked, [&onOffClicks] { ++onOffClicks; });
    QObject::connect(m_ui.IDC_SEND, &QPushButton::clicked, [&sendClicks] { ++sendClicks; });
    m_ui.IDC_POS_CURRENT->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_ui.IDC_POS_CURRENT, &enter);
    EXPECT_EQ(onOffClicks, 1);
    EXPECT_EQ(sendClicks, 0);
}

TEST_F(PanelFormTest, TabVisitsTheVisibleTabStopsInLayoutOrderAndWrapsAround) {
    ShowActive();
    ASSERT_EQ(m_panel.focusWidget(), m_ui.IDC_ONOFF) << "the ON/OFF button has the first focus";

    const std::array<QWidget*, 5> expected{m_ui.IDC_POS_VOLTAGE, m_ui.IDC_NEG_VOLTAGE,
                                           m_ui.IDC_POS_CURRENT, m_ui.IDC_NEG_CURRENT,
                                           m_ui.IDC_ONOFF};
    for (QWidget* next : expected) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(m_panel.focusWidget(), &tab);
        QWidget* focus = m_panel.focusWidget();
        EXPECT_TRUE(focus == next || next->isAncestorOf(focus))
            << "expected " << qPrintable(next->objectName()) << ", focus on "
            << qPrintable(focus ? focus->objectName() : QStringLiteral("nothing"));
    }
}

TEST_F(PanelFormTest, GroupBoxesOnTopLetClicksThroughToTheControlsTheyFrame) {
    ShowActive();
    for (QWidget* control : Controls(m_panel)) {
        if (!control->isVisible() || qobject_cast<QGroupBox*>(control) != nullptr) {
            continue;
        }
        QWidget* hit = m_panel.childAt(control->geometry().center());
        EXPECT_TRUE(hit == control || control->isAncestorOf(hit))
            << qPrintable(control->objectName()) << " is covered by "
            << qPrintable(hit ? hit->objectName() : QStringLiteral("nothing"));
    }
}

TEST_F(PanelFormTest, VisibleTextsFitTheirControls) {
    ShowActive();
    for (QLabel* label : m_panel.findChildren<QLabel*>()) {
        if (!label->isVisible()) {
            continue;
        }
        EXPECT_TRUE(TextInkFits(*label)) << qPrintable(label->objectName());
    }

    QStyleOptionButton buttonOption;
    buttonOption.initFrom(m_ui.IDC_ONOFF);
    const QRect buttonContents = m_ui.IDC_ONOFF->style()->subElementRect(
        QStyle::SE_PushButtonContents, &buttonOption, m_ui.IDC_ONOFF);
    EXPECT_LE(m_ui.IDC_ONOFF->fontMetrics().horizontalAdvance(m_ui.IDC_ONOFF->text()),
              buttonContents.width());

    for (QGroupBox* group : m_panel.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, group);
        EXPECT_TRUE(group->rect().contains(title)) << qPrintable(group->objectName());
        EXPECT_LE(group->fontMetrics().horizontalAdvance(group->title()), title.width());
    }
}

// The lists are filled at the end, one entry after the other, and must keep that order despite
// their sort style; each entry must show whole in the closed list's field, or "-1.5V" would
// read as "1.5V".
TEST_F(PanelFormTest, VoltageListsKeepTheirOrderAndShowEveryEntryWhole) {
    ShowActive();
    for (QComboBox* list : {m_ui.IDC_POS_VOLTAGE, m_ui.IDC_NEG_VOLTAGE}) {
        const bool negative = list == m_ui.IDC_NEG_VOLTAGE;
        QStringList texts;
        for (const pelmora::VoltageStep& step : pelmora::kVoltageSteps) {
            const std::string_view text = negative ? step.negativeText : step.positiveText;
            texts.append(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
            list->addItem(texts.back());
        }
        QStringList shown;
        for (int i = 0; i < list->count(); ++i) {
            shown.append(list->itemText(i));
        }
        EXPECT_EQ(shown, texts) << qPrintable(list->objectName());

        QLineEdit* field = list->lineEdit();
        for (int i = 0; i < list->count(); ++i) {
            list->setCurrentIndex(i);
            // Painting scrolls the field to its cursor, by whole pixels. With the cursor at the
            // end, a text too long for the field is scrolled left and its start cut off.
            field->setCursorPosition(0);
            field->grab();
            const int start = CursorX(*field);
            field->end(false);
            field->grab();
            const int end = CursorX(*field);
            const auto width =
                static_cast<int>(QFontMetricsF(field->font()).horizontalAdvance(list->itemText(i)));
            EXPECT_GE(end - start, width) << qPrintable(list->itemText(i)) << " does not fit "
                                          << qPrintable(list->objectName());
        }
    }
}

} // namespace
