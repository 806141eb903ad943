#include "panel/dialog_frame.h"

#include <QDialog>

void ApplyDialogFrame(QDialog& dialog) {
    // Without CustomizeWindowHint the window system adds its default buttons to those named.
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setFixedSize(dialog.size());
}
