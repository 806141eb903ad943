#include "panel/overcurrent_dlg.h"
#include "link/voltage_table.h"
#include "panel/drop_down_list.h"
#include "panel/supply_panel_dlg.h"

#include <QCoreApplication>

using namespace pelmora;

bool CSupplyPanelDlg::SwitchOutputOn() {
    const auto reaction = m_controller.SwitchOn(std::chrono::steady_clock::now());
    if (reaction.refused == Refusal::Tripped) {
        ShowTripRefusal();
        return false;
    }
    // The graph leaves a gap where the output was off.
    m_trace.BeginPeriod();
    Carry(reaction);
    return true;
}

void CSupplyPanelDlg::SwitchOutputOff() {
    Carry(m_controller.SwitchOff(std::chrono::steady_clock::now()));
}

void CSupplyPanelDlg::Carry(const Reaction& reaction) {
    bool delivered = true;
    for (const auto& command : reaction.send) {
        if (command.kind == SupplyCommand::Kind::Voltages) {
            m_posCode = command.positiveCode;
            m_negCode = command.negativeCode;
            SendVoltage();
        } else {
            delivered = SendReset() && delivered;
        }
    }
    m_outputOn = m_controller.OutputOn();
    if (reaction.programEnded) {
        SequenceEnded();
    } else if (reaction.stepBegan) {
        // The lists show what the supply is given.
        m_posVoltageCombo->setCurrentIndex(VoltageIndexOf(m_controller.PositiveCode()));
        m_negVoltageCombo->setCurrentIndex(VoltageIndexOf(m_controller.NegativeCode()));
        ShowSequenceProgress();
    }
    update();
    if (reaction.tripped) {
        OnTrip(*reaction.tripped, delivered);
    }
}

void CSupplyPanelDlg::ShowTripRefusal() {
    OpenBox(QMessageBox::Warning,
            tr("過電流保護がトリップしたため、出力をオンにできません: %1\n"
               "右クリックメニューの「過電流保護…」で解除してください。")
                .arg(TripText(*m_controller.Trip())));
}

void CSupplyPanelDlg::OnTrip(const overcurrent::TripRecord& trip, bool delivered) {
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
    COverCurrentDlg dialog(m_controller.Protection(), m_controller.Trip(), this);
    // Modal to the panel alone, as every box over it: the sequence window's Stop stays free.
    dialog.setWindowModality(Qt::WindowModal);
    // A trip while it is open is shown in it.
    m_protectionDlg = &dialog;
    if (dialog.exec() != QDialog::Accepted || m_closed) {
        return;
    }
    // The dialog's fields hold only values the protection takes.
    m_controller.Configure(dialog.Settings());
    if (dialog.ClearTrip()) {
        m_controller.ClearTrip();
    }
    ShowConnection();
}
