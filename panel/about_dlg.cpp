#include "panel/about_dlg.h"

#include "panel/dialog_frame.h"
#include "ui_about.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::IDD_ABOUTBOX>()) {
    m_ui->setupUi(this);
    ApplyDialogFrame(*this);
}

CAboutDlg::~CAboutDlg() = default;
