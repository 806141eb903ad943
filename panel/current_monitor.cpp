#include "link/supply_protocol.h"
#include "panel/not_found_message.h"
#include "panel/supply_panel_dlg.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimerEvent>

void CSupplyPanelDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timerId) {
        OnTimer(event->timerId());
        return;
    }
    if (event->timerId() == m_watchTimerId) {
        OnWatchTimer();
        return;
    }
    QDialog::timerEvent(event);
}

void CSupplyPanelDlg::OnTimer(int /*timerId*/) {
    // A device that went away while the output was off is noticed too, without a word sent.
    if (m_port.IsOpen() && m_port.LookForHangUp()) {
        OnSupplyLost();
        return;
    }
    if (!m_outputOn) {
        return;
    }
    const bool answered = PollCurrents();
    ShowSequenceProgress();
    if (m_port.IsGone()) {
        OnSupplyLost();
        return;
    }
    if (answered || !m_alertArmed) {
        return;
    }
    // Disarmed before the box is shown: ticks keep arriving while it is open, and each one
    // that fails must not open another box.
    m_alertArmed = false;
    ShowAlert();
}

void CSupplyPanelDlg::ShowAlert() {
    // A box run to its end from inside the tick would hold the timer back for as long as it is
    // open: no poll would go out, and a supply that recovers would go unnoticed. So the box is
    // opened and the tick returns; the answer arrives when the user gives it.
    m_alert = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                              NotFoundMessage(), QMessageBox::Ok | QMessageBox::Cancel, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_alert, &QMessageBox::finished, this, [this, alert = m_alert.data()] {
        if (alert->clickedButton() == alert->button(QMessageBox::Ok)) {
            m_alertArmed = true;
        }
    });
    m_alert->open();
}

bool CSupplyPanelDlg::PollCurrents() {
    const auto reading =
        pelmora::protocol::ParseCurrentReply(ExchangeCommand(pelmora::protocol::kCurrentRequest));
    // Each sample, not the average, goes to the protection, and a trip's reset goes out before
    // anything else is done with the reading; a supply that did not answer ends a program.
    Carry(m_controller.Polled(reading, std::chrono::steady_clock::now(),
                              std::chrono::system_clock::now()));
    if (reading) {
        m_posHistory.Push(reading->positiveMa);
        m_negHistory.Push(reading->negativeMa);
        m_posCurrentEdit->setText(QString::number(m_posHistory.Average()));
        m_negCurrentEdit->setText(QString::number(m_negHistory.Average()));
    }
    // A poll that met the supply's loss is not a row of its own: the loss makes one.
    if (!m_port.IsGone()) {
        NoteReading(reading);
    }
    return reading.has_value();
}
