#include "about_dlg.h"

#include "dialog_frame.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    m_ui.setupUi(this);
    ApplyDialogFrame(*this);
}
