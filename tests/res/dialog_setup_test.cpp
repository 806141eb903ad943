#include "panel/dialog_frame.h"
#include "ui_about.h"
#include "ui_panel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QSet>
#include <gtest/gtest.h>

namespace {

// Every text the two forms carry, hidden ones included.
QStringList FormTexts() {
    QDialog panel;
    Ui::IDD_PANEL panelUi;
    panelUi.setupUi(&panel);
    QDialog about;
    Ui::IDD_ABOUTBOX aboutUi;
    aboutUi.setupUi(&about);

    QStringList texts{panel.windowTitle(), about.windowTitle()};
    for (const QDialog* form : {&panel, &about}) {
        for (const QLabel* label : form->findChildren<QLabel*>()) {
            texts.append(label->text());
        }
        for (const QPushButton* button : form->findChildren<QPushButton*>()) {
            texts.append(button->text());
        }
        for (const QGroupBox* group : form->findChildren<QGroupBox*>()) {
            texts.append(group->title());
        }
    }
    return texts;
}

TEST(DialogFontTest, TheFormsFontIsAJapaneseFaceThatHasEveryCharacterOfTheirTexts) {
    QDialog panel;
    Ui::IDD_PANEL ui;
    ui.setupUi(&panel);
    const QFont font = panel.font();
    EXPECT_EQ(font.pointSize(), 9);

    const QSet<QString> japaneseFaces{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                      QStringLiteral("Noto Sans CJK JP"),
                                      QStringLiteral("VL Gothic")};
    const QString face = QFontInfo(font).family();
    ASSERT_TRUE(japaneseFaces.contains(face)) << "drawn in " << qPrintable(face);

    const QRawFont raw = QRawFont::fromFont(font);
    for (const QString& text : FormTexts()) {
        for (const char32_t character : text.toUcs4()) {
            EXPECT_TRUE(raw.supportsCharacter(character))
                << qPrintable(face) << " lacks U+" << std::hex << static_cast<unsigned>(character)
                << " of " << qPrintable(text);
        }
    }
}

// Each control inherits the dialog's font; a font or a style sheet given to a single control, or
// to the parts an opened list is made of, would draw it in some other face.
TEST(DialogFontTest, EveryPartOfThePanelIsDrawnInTheDialogsFace) {
    QDialog panel;
    Ui::IDD_PANEL ui;
    ui.setupUi(&panel);
    panel.show();
    ui.IDC_POS_VOLTAGE->showPopup();
    const QString face = QFontInfo(panel.font()).family();
    QList<QWidget*> parts = panel.findChildren<QWidget*>();
    parts.append(ui.IDC_POS_VOLTAGE->view()->window()->findChildren<QWidget*>());
    for (const QWidget* part : parts) {
        EXPECT_EQ(QFontInfo(part->font()).family(), face)
            << qPrintable(part->objectName()) << " (" << part->metaObject()->className() << ")";
    }
    ui.IDC_POS_VOLTAGE->hidePopup();
}

TEST(DialogFrameTest, GivesAFixedSizeFrameWithACloseBoxOnly) {
    QDialog panel;
    Ui::IDD_PANEL ui;
    ui.setupUi(&panel);
    const QSize formSize = panel.size();
    ApplyDialogFrame(panel);

    const Qt::WindowFlags flags = panel.windowFlags();
    EXPECT_EQ(panel.windowType(), Qt::Dialog);
    EXPECT_TRUE(flags.testFlags(Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testAnyFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(panel.minimumSize(), formSize);
    EXPECT_EQ(panel.maximumSize(), formSize);
}

} // namespace
