#include "panel/overcurrent_dlg.h"
#include "panel/supply_panel_dlg.h"

#include <QCoreApplication>

using namespace pelmora;

bool CSupplyPanelDlg::SwitchOutputOn() {
    if (!m_protection.OutputOn(std::chrono::steady_clock::now())) {
        OpenBox(QMessageBox::Warning,
                tr("過電流保護がトリップしたため、出力をオンにできません: %1\n"
                   "右クリックメニューの「過電流保護…」で解除してください。")
                    .arg(TripText(*m_protection.Trip())));
        return false;
    }
    m_outputOn = true;
    // The graph leaves a gap where the output was off.
    m_trace.BeginPeriod();
    SendVoltage();
    update();
    return true;
}

void CSupplyPanelDlg::SwitchOutputOff() {
    m_outputOn = false;
    m_protection.OutputOff();
    SendReset();
    update();
}

void CSupplyPanelDlg::OnTrip(const overcurrent::TripRecord& trip) {
    // Nothing else is written first: the reset is the next command on the line.
    const bool delivered = SendReset();
    m_outputOn = false;
    m_protection.OutputOff();
    EndSequence(false);
    update();
    ShowConnection();
    if (delivered) {
        OpenBox(QMessageBox::Warning,
                tr("過電流保護が出力をオフにしました: %1").arg(TripText(trip)));
    } else {
        OpenBox(QMessageBox::Critical,
                tr("過電流を検出しましたが、電源に出力オフを送れませんでした: %1\n"
                   "電源の出力がオンのままの可能性があります。電源を直接切ってください。")
                    .arg(TripText(trip)));
    }
}

void CSupplyPanelDlg::OpenBox(QMessageBox::Icon icon, const QString& text) {
    auto* box =
        new QMessageBox(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CSupplyPanelDlg::OnProtection() {
    COverCurrentDlg dialog(m_protection.Settings(), m_protection.Trip(), this);
    // Modal to the panel alone, as every box over it: the sequence window's Stop stays free.
    dialog.setWindowModality(Qt::WindowModal);
    // A trip while it is open is shown in it.
    m_protectionDlg = &dialog;
    if (dialog.exec() != QDialog::Accepted || m_closed) {
        return;
    }
    // The dialog's fields hold only values the engine takes.
    m_protection.Configure(dialog.Settings());
    if (dialog.ClearTrip()) {
        m_protection.Clear();
    }
    ShowConnection();
}
