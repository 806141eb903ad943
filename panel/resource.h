#pragma once

#include <vector>

class QIcon;
class QPixmap;
class QString;

// Ids of the program's resources and of the dialogs' controls. They are enumerators rather
// than variables because the forms' generated code names its dialog parameter after the dialog
// (IDD_PANEL, IDD_ABOUTBOX): a parameter may hide an enumerator quietly, but hiding a variable
// is a shadowing warning, and warnings fail the build.

// One enumeration for all of them, so that ids of different kinds mix freely.
enum : int {
    // Dialog forms.
    IDD_ABOUTBOX = 100,
    IDD_PANEL = 102,

    // The application icon and the two lamp pictures.
    IDR_MAINFRAME = 128,
    IDB_LAMP_OFF = 130,
    IDB_LAMP_ON = 133,

    // The About entry's text.
    IDS_ABOUTBOX = 101,

    // The About entry's system command. The window system keeps the low four bits of a system
    // command for itself, and its own commands start at 0xF000.
    IDM_ABOUTBOX = 0x0010,

    // Control ids, as each control of the forms carries them in its `controlId` property.
    IDC_STATIC = -1, // a control without an id of its own
    IDOK = 1,
    IDC_RESPONSE = 1000,
    IDC_SEND = 1001,
    IDC_COMMAND = 1002,
    IDC_WAIT_MS = 1003,
    IDC_POS_VOLTAGE = 1004,
    IDC_NEG_VOLTAGE = 1005,
    IDC_POS_CURRENT = 1006,
    IDC_NEG_CURRENT = 1007,
    IDC_ONOFF = 1008,
};

// The dynamic property in which every control of the forms carries its id.
inline constexpr char kControlIdProperty[] = "controlId";

// File and product version of the program.
inline constexpr char kVersionText[] = "1.0.0.1";

// The string resource `id` in the language of the program's translation; empty for an id the
// program has no string for.
QString LoadResourceString(int id);
// The string table's texts as the translation tools know them.
std::vector<QString> TranslatableStringTableTexts();

// The application icon IDR_MAINFRAME, in each size it is drawn in.
QIcon LoadAppIcon();

// The bitmap resource `id`, pixel for pixel; a null pixmap for an id the program has no bitmap
// for.
QPixmap LoadBitmapResource(int id);
