#pragma once

class QDialog;

// Gives a dialog built from one of the forms the frame of a Windows modal dialog: a title bar
// with its menu and close box, no minimise or maximise box, and the form's size, fixed. Call
// after setupUi and before the dialog is shown.
void ApplyDialogFrame(QDialog& dialog);
