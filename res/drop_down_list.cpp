#include "drop_down_list.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionComplex>

namespace {

// Widths in pixels of the drop-down button and of the frame around button and field.
constexpr int kButtonWidth = 12;
constexpr int kFrameWidth = 1;

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
    // The field is typed into as a text box only; what is typed never becomes an entry.
    setInsertPolicy(QComboBox::NoInsert);
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
    // A click or Enter in the list hides it before making the entry current.
    QMetaObject::invokeMethod(this, &CDropDownList::closeUp, Qt::QueuedConnection);
}
