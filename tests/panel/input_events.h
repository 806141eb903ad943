#pragma once

#include <QPoint>
#include <Qt>

class CDropDownList;
class QWidget;

// Input as the window system delivers it: events enter at the panel's window and Qt routes
// them, to the focused widget, to an open list, or to the widget under the pointer.

// A key pressed and released on the window that holds `anyWidget`.
void Key(QWidget* anyWidget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The Menu key: its press, and the request for a context menu that the window system adds to
// it (the platform does that, so a key event alone does not open a menu).
void MenuKeyPress(QWidget* anyWidget);
// A key held down: one press, `repeats` auto-repeated presses, then the release.
void HoldKey(QWidget* anyWidget, Qt::Key key, int repeats);
// The same as a busy machine can deliver it: each repeat a release and a press at the same
// instant that Qt did not get to mark as repeats.
void HoldKeyUnmarked(Qt::Key key, int repeats);
// A wheel turned over the middle of `widget` by `notches` (positive: away from the user).
void Wheel(QWidget* widget, int notches);
// A left click at `point` of `widget`.
void Click(QWidget* widget, QPoint point);
void ClickMiddle(QWidget* widget);

// The list's drop-down button, and whether its list is open.
void ClickArrow(CDropDownList& list);
bool IsListOpen(const CDropDownList& list);
// Clicks entry `index` of the open list.
void ClickEntry(CDropDownList& list, int index);

// Gives `widget` the keyboard focus the way a click would, with its window active.
void FocusByClick(QWidget* widget);
