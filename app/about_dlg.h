#pragma once

#include "ui_about.h"

#include <QDialog>

// The About box: the program's name, version and rights notice. OK, Escape and the close box
// all end it.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

private:
    Ui::IDD_ABOUTBOX m_ui;
};
