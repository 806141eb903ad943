#include "tests/res/form_check.h"

#include "panel/resource.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr double kPixelsPerDialogUnit = 1.5;
// A list's height in the layout includes its dropped-down part; closed, it is this tall.
constexpr int kClosedListDialogUnits = 12;

// An icon control takes the size of the icon it shows, whatever its layout says.
int StandardIconPixels(const QWidget& widget) {
    return widget.style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, &widget);
}

QRect ExpectedGeometry(const ControlRow& row, const QWidget& widget) {
    const QRect dlu = row.dialogUnits;
    QRect pixels(ToPixels(dlu.x()), ToPixels(dlu.y()), ToPixels(dlu.width()),
                 ToPixels(dlu.height()));
    if (row.kind == ControlKind::EditableList) {
        pixels.setHeight(ToPixels(kClosedListDialogUnits));
    } else if (row.kind == ControlKind::Icon) {
        pixels.setSize({StandardIconPixels(widget), StandardIconPixels(widget)});
    }
    return pixels;
}

void ExpectKind(const ControlRow& row, QWidget& widget) {
    const QString text = QString::fromUtf8(row.text);
    switch (row.kind) {
    case ControlKind::DefaultButton: {
        auto* button = qobject_cast<QPushButton*>(&widget);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), text);
        EXPECT_TRUE(button->autoDefault());
        EXPECT_TRUE(button->property("defaultPushStyle").toBool());
        break;
    }
    case ControlKind::EditableList: {
        auto* list = qobject_cast<QComboBox*>(&widget);
        ASSERT_NE(list, nullptr);
        EXPECT_TRUE(list->isEditable());
        EXPECT_EQ(list->count(), 0);
        // What is typed into the field must never become an entry of the list.
        EXPECT_EQ(list->insertPolicy(), QComboBox::NoInsert);
        break;
    }
    case ControlKind::ReadOnlyEdit:
    case ControlKind::Edit: {
        auto* edit = qobject_cast<QLineEdit*>(&widget);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->isReadOnly(), row.kind == ControlKind::ReadOnlyEdit);
        EXPECT_EQ(edit->text(), text);
        break;
    }
    case ControlKind::ReadOnlyMultiLine: {
        auto* edit = qobject_cast<QPlainTextEdit*>(&widget);
        ASSERT_NE(edit, nullptr);
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_EQ(edit->toPlainText(), text);
        break;
    }
    case ControlKind::Text: {
        auto* label = qobject_cast<QLabel*>(&widget);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), text);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        break;
    }
    case ControlKind::GroupBox: {
        auto* group = qobject_cast<QGroupBox*>(&widget);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), text);
        EXPECT_TRUE(group->children().isEmpty()) << "a group box holds no controls";
        break;
    }
    case ControlKind::Icon: {
        auto* label = qobject_cast<QLabel*>(&widget);
        ASSERT_NE(label, nullptr);
        EXPECT_FALSE(label->pixmap().isNull());
        break;
    }
    }
}

} // namespace

int ToPixels(int dialogUnits) {
    return static_cast<int>(std::lround(dialogUnits * kPixelsPerDialogUnit));
}

QList<QWidget*> Controls(const QDialog& dialog) {
    return dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

void ExpectLayout(const QDialog& dialog, std::span<const ControlRow> layout) {
    const QList<QWidget*> controls = Controls(dialog);
    QStringList names;
    for (const QWidget* control : controls) {
        names.append(control->objectName());
    }
    QStringList expectedNames;
    for (const ControlRow& row : layout) {
        expectedNames.append(QString::fromLatin1(row.name));
    }
    ASSERT_EQ(names, expectedNames) << "controls out of order, missing or extra";

    for (qsizetype i = 0; i < controls.size(); ++i) {
        const ControlRow& row = layout[static_cast<std::size_t>(i)];
        QWidget& control = *controls[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control.property(kControlIdProperty), QVariant(row.id));
        EXPECT_EQ(control.geometry(), ExpectedGeometry(row, control));
        EXPECT_EQ(control.isVisibleTo(&dialog), row.shown);
        EXPECT_EQ((control.focusPolicy() & Qt::TabFocus) != 0, row.tabStop);
        ExpectKind(row, control);
    }
}

bool TextInkFits(const QLabel& label) {
    // Draws the text as the label would, into a box larger by this much on the side its text
    // may run over, and looks for ink beyond the label's own box.
    constexpr int kRoom = 16;
    const bool bottomAligned = (label.alignment() & Qt::AlignBottom) != 0;
    QLabel probe;
    probe.setFont(label.font());
    probe.setTextFormat(label.textFormat());
    probe.setAlignment(label.alignment());
    probe.setWordWrap(label.wordWrap());
    probe.setText(label.text());
    probe.resize(label.width() + kRoom, label.height() + kRoom);

    QImage ink(probe.size(), QImage::Format_ARGB32);
    ink.fill(Qt::transparent);
    probe.render(&ink, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRect box(QPoint(0, bottomAligned ? kRoom : 0), label.size());
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            if (qAlpha(ink.pixel(x, y)) != 0 && !box.contains(x, y)) {
                return false;
            }
        }
    }
    return true;
}
