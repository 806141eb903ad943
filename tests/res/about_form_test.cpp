#include "panel/resource.h"
#include "tests/res/form_check.h"
#include "ui_about.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <gtest/gtest.h>

namespace {

using enum ControlKind;

constexpr std::array<ControlRow, 4> kAboutLayout{{
    {"IDC_STATIC_ICON", IDC_STATIC, Icon, "", {11, 17, 20, 20}, true, false},
    {"IDC_STATIC_VERSION", IDC_STATIC, Text, "Pelmora Version 1.0", {40, 10, 119, 8}, true, false},
    {"IDC_STATIC_NOTICE", IDC_STATIC, Text, "Copyright (C) 2026", {40, 25, 119, 8}, true, false},
    {"IDOK", IDOK, DefaultButton, "OK", {178, 7, 50, 16}, true, true},
}};

constexpr int kAboutWidthDialogUnits = 235;
constexpr int kAboutHeightDialogUnits = 55;

class AboutFormTest : public ::testing::Test {
protected:
    AboutFormTest() { m_ui.setupUi(&m_about); }

    QDialog m_about;
    Ui::IDD_ABOUTBOX m_ui;
};

TEST_F(AboutFormTest, ControlsFollowTheAboutBoxsLayout) {
    EXPECT_EQ(m_about.objectName(), QStringLiteral("IDD_ABOUTBOX"));
    EXPECT_EQ(m_about.windowTitle(), QStringLiteral("バージョン情報 Pelmora"));
    EXPECT_EQ(m_about.size(),
              QSize(ToPixels(kAboutWidthDialogUnits), ToPixels(kAboutHeightDialogUnits)));
    ExpectLayout(m_about, kAboutLayout);
    EXPECT_TRUE(m_ui.IDOK->isDefault());
}

TEST_F(AboutFormTest, OkEndsTheBox) {
    m_ui.IDOK->click();
    EXPECT_EQ(m_about.result(), QDialog::Accepted);
}

TEST_F(AboutFormTest, IconIsTheApplicationIcon) {
    const QImage shown = m_ui.IDC_STATIC_ICON->pixmap().toImage();
    const QImage icon = LoadAppIcon().pixmap(shown.size()).toImage();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32),
              icon.convertToFormat(QImage::Format_ARGB32));
}

// The two texts are exactly as tall as the dialog font is on Windows; the substitute face is a
// pixel taller, and its descenders ("p", "y", the parentheses) must not be cut off.
TEST_F(AboutFormTest, TextsAreNotCutOff) {
    m_about.show();
    for (const QLabel* label : {m_ui.IDC_STATIC_VERSION, m_ui.IDC_STATIC_NOTICE}) {
        EXPECT_TRUE(TextInkFits(*label)) << qPrintable(label->objectName());
    }
}

} // namespace
