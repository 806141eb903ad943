#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class IDD_ABOUTBOX;
}

// The About box: the program's name, version and rights notice. OK, Escape and the close box
// all end it.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::IDD_ABOUTBOX> m_ui;
};
