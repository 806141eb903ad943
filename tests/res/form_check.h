#pragma once

#include <QList>
#include <QRect>
#include <span>

class QDialog;
class QLabel;
class QWidget;

// What a form's control is, as far as the checks tell controls apart.
enum class ControlKind {
    DefaultButton,     // push button with the default-button style
    EditableList,      // drop-down list with an edit field
    ReadOnlyEdit,      // single-line box the user cannot type into
    Edit,              // single-line box
    ReadOnlyMultiLine, // multi-line box the user cannot type into
    Text,              // static text
    GroupBox,          // frame with a title, a sibling of the controls it frames
    Icon,              // the application icon
};

// One row of a form's layout, as laid out in dialog units.
struct ControlRow {
    const char* name;
    int id;
    ControlKind kind;
    const char* text; // UTF-8; the title of a group box
    QRect dialogUnits;
    bool shown;
    bool tabStop;
};

// Dialog units to pixels: the forms are laid out at 1.5 pixels a unit in both directions,
// rounded to the nearest pixel.
int ToPixels(int dialogUnits);

// The controls of a form in creation order, which is also their stacking order.
QList<QWidget*> Controls(const QDialog& dialog);

// Checks every control of a freshly set up form against its layout: order, id, kind, geometry,
// text, visibility and tab stop.
void ExpectLayout(const QDialog& dialog, std::span<const ControlRow> layout);

// Whether the whole text of a top- or bottom-aligned label is drawn inside the label.
bool TextInkFits(const QLabel& label);
