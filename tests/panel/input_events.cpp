#include "tests/panel/input_events.h"

#include "panel/drop_down_list.h"
#include "tests/panel/panel_harness.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

namespace {

constexpr int kWheelNotch = 120;
constexpr int kSettleMs = 20;

QString TextOf(Qt::Key key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Space:
        return QStringLiteral(" ");
    case Qt::Key_Escape:
        return QString(QChar(0x1b));
    default:
        if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
            return QString(QChar(static_cast<char16_t>(key))).toLower();
        }
        return {};
    }
}

void SendKey(QWidget* anyWidget, QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers,
             bool autoRepeat) {
    // The focus window: an open list's popup takes the keys, as it does on the desktop.
    QWidget* target =
        QApplication::activePopupWidget() ? QApplication::activePopupWidget() : anyWidget->window();
    qt_handleKeyEvent(target->windowHandle(), type, key, modifiers, TextOf(key), autoRepeat);
}

} // namespace

void Key(QWidget* anyWidget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    SendKey(anyWidget, QEvent::KeyPress, key, modifiers, false);
    SendKey(anyWidget, QEvent::KeyRelease, key, modifiers, false);
    ProcessEventsFor(kSettleMs);
}

void MenuKeyPress(QWidget* anyWidget) {
    SendKey(anyWidget, QEvent::KeyPress, Qt::Key_Menu, Qt::NoModifier, false);
    // Qt hands a keyboard request to the focused widget, from where it goes up until taken.
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : anyWidget;
    const QPoint inside = target->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, inside, target->mapToGlobal(inside));
    QSpontaneKeyEvent::setSpontaneous(&request);
    qApp->notify(target, &request);
    SendKey(anyWidget, QEvent::KeyRelease, Qt::Key_Menu, Qt::NoModifier, false);
    ProcessEventsFor(kSettleMs);
}

void HoldKey(QWidget* anyWidget, Qt::Key key, int repeats) {
    SendKey(anyWidget, QEvent::KeyPress, key, Qt::NoModifier, false);
    for (int i = 0; i < repeats; ++i) {
        ProcessEventsFor(kSettleMs);
        // The window system sends a held key as release and press pairs, both auto-repeated.
        SendKey(anyWidget, QEvent::KeyRelease, key, Qt::NoModifier, true);
        SendKey(anyWidget, QEvent::KeyPress, key, Qt::NoModifier, true);
    }
    SendKey(anyWidget, QEvent::KeyRelease, key, Qt::NoModifier, false);
    ProcessEventsFor(kSettleMs * 10);
}

void HoldKeyUnmarked(Qt::Key key, int repeats) {
    constexpr unsigned long kRepeatIntervalMs = 40;
    unsigned long time = 1'000'000;
    const auto deliver = [&](QEvent::Type type) {
        // To the focused widget, as the window delivers keys.
        QKeyEvent event(type, key, Qt::NoModifier, TextOf(key));
        event.setTimestamp(time);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(QApplication::focusWidget(), &event);
    };
    deliver(QEvent::KeyPress);
    for (int i = 0; i < repeats; ++i) {
        ProcessEventsFor(kSettleMs);
        time += kRepeatIntervalMs;
        deliver(QEvent::KeyRelease);
        deliver(QEvent::KeyPress);
    }
    time += kRepeatIntervalMs;
    deliver(QEvent::KeyRelease);
    ProcessEventsFor(kSettleMs * 10);
}

void Wheel(QWidget* widget, int notches) {
    // Delivered as the window delivers it: to the innermost widget under the pointer, marked
    // as coming from the window system, so that focus follows the widget's policy.
    QWidget* window = widget->window();
    const QPoint inWindow = widget->mapTo(window, widget->rect().center());
    QWidget* receiver = window->childAt(inWindow);
    if (!receiver) {
        receiver = window;
    }
    QWheelEvent wheel(QPointF(receiver->mapFrom(window, inWindow)),
                      QPointF(window->mapToGlobal(inWindow)), QPoint(),
                      QPoint(0, notches * kWheelNotch), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(receiver, &wheel);
    ProcessEventsFor(kSettleMs);
}

void Click(QWidget* widget, QPoint point) {
    // A click outside an open list lands on the list's popup window first, as on the desktop.
    QWidget* popup = QApplication::activePopupWidget();
    QWidget* target = popup ? popup : widget->window();
    const QPoint global = widget->mapToGlobal(point);
    QTest::mouseClick(target->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      target->mapFromGlobal(global));
    ProcessEventsFor(kSettleMs);
}

void ClickMiddle(QWidget* widget) {
    Click(widget, widget->rect().center());
}

void ClickArrow(CDropDownList& list) {
    QStyleOptionComboBox option;
    option.initFrom(&list);
    option.editable = list.isEditable();
    option.subControls = QStyle::SC_All;
    const QRect arrow =
        list.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &list);
    Click(&list, arrow.center());
}

bool IsListOpen(const CDropDownList& list) {
    return list.view()->isVisible();
}

void ClickEntry(CDropDownList& list, int index) {
    QAbstractItemView* view = list.view();
    const QPoint entry = view->visualRect(view->model()->index(index, 0)).center();
    // Clicks right after the list opened are taken for the end of the opening click.
    ProcessEventsFor(QApplication::doubleClickInterval() + kSettleMs);
    Click(view->viewport(), entry);
}

void FocusByClick(QWidget* widget) {
    widget->window()->activateWindow();
    [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(widget->window());
    widget->setFocus(Qt::MouseFocusReason);
    ProcessEventsFor(kSettleMs);
}
