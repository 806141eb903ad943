#include "panel/drop_down_list.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionComplex>

namespace {

// Widths in pixels of the drop-down button and of the frame around button and field.
constexpr int kButtonWidth = 12;
constexpr int kFrameWidth = 1;
// The wheel's angle for one step, in eighths of a degree.
constexpr int kWheelStepAngle = 120;

// The application's style, with the button and the field of a drop-down list placed anew.
class CNarrowButtonStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (control != CC_ComboBox || (part != SC_ComboBoxArrow && part != SC_ComboBoxEditField)) {
            return QProxyStyle::subControlRect(control, option, part, widget);
        }
        const QRect inside =
            option->rect.adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
        const QRect placed = part == SC_ComboBoxArrow
                                 ? QRect(inside.right() + 1 - kButtonWidth, inside.top(),
                                         kButtonWidth, inside.height())
                                 : inside.adjusted(0, 0, -kButtonWidth, 0);
        return visualRect(option->direction, option->rect, placed);
    }
};

// One style for every list. The application owns it, so it outlives every list.
QStyle* NarrowButtonStyle() {
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = new CNarrowButtonStyle(QApplication::style()->name());
        style->setParent(qApp);
    }
    return style;
}

} // namespace

CDropDownList::CDropDownList(QWidget* parent) : QComboBox(parent) {
    setStyle(NarrowButtonStyle());
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    QLineEdit* field = lineEdit();
    field->setReadOnly(true);
    // A combo box makes the entry whose text its field holds current when the field loses focus
    // or takes Return. Opening the list puts the first entry's text there, and a focus change
    // while the list is open would then move the rail to that entry without the user's choice.
    disconnect(field, &QLineEdit::editingFinished, this, nullptr);
    disconnect(field, &QLineEdit::returnPressed, this, nullptr);
    // Without focus from the wheel, scrolling the page past a list cannot change it.
    setFocusPolicy(Qt::StrongFocus);
}

void CDropDownList::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (modifiers == Qt::AltModifier) {
            showPopup();
        } else if (modifiers == Qt::NoModifier) {
            Step(event->key() == Qt::Key_Up ? -1 : 1);
        }
        event->accept();
        return;
    case Qt::Key_F4:
        if (modifiers == Qt::NoModifier) {
            showPopup();
        }
        event->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        event->ignore();
        return;
    default:
        event->accept();
        return;
    }
}

void CDropDownList::wheelEvent(QWheelEvent* event) {
    if (m_listOpen || !hasFocus()) {
        event->ignore();
        return;
    }
    m_pendingWheelAngle += event->angleDelta().y();
    while (m_pendingWheelAngle >= kWheelStepAngle) {
        m_pendingWheelAngle -= kWheelStepAngle;
        Step(-1);
    }
    while (m_pendingWheelAngle <= -kWheelStepAngle) {
        m_pendingWheelAngle += kWheelStepAngle;
        Step(1);
    }
    event->accept();
}

void CDropDownList::Step(int direction) {
    const int next = currentIndex() + direction;
    if (next < 0 || next >= count()) {
        return;
    }
    setCurrentIndex(next);
    emit stepped();
}

void CDropDownList::showPopup() {
    emit dropDown();
    m_listOpen = true;
    QComboBox::showPopup();
}

void CDropDownList::hidePopup() {
    QComboBox::hidePopup();
    if (!m_listOpen) {
        return;
    }
    m_listOpen = false;
    // The field shows the current entry again at once; a click or Enter in the list hides it
    // before making its entry current, and the close is reported after that.
    setEditText(itemText(currentIndex()));
    QMetaObject::invokeMethod(this, &CDropDownList::closeUp, Qt::QueuedConnection);
}
