#include "supply_panel_dlg.h"

#include "voltage_table.h"

#include <QLineEdit>
#include <QPlainTextEdit>

CSupplyPanelDlg::CSupplyPanelDlg(QWidget* parent)
    : QDialog(parent), m_posCode(pelmora::kDefaultVoltageCode),
      m_negCode(pelmora::kDefaultVoltageCode), m_responseEdit(new QPlainTextEdit(this)),
      m_waitEdit(new QLineEdit(this)) {
    // Both boxes are working storage of the exchanges, never shown to the user.
    m_responseEdit->setReadOnly(true);
    m_responseEdit->hide();
    m_waitEdit->hide();
}

CSupplyPanelDlg::~CSupplyPanelDlg() = default;
