#include "link/supply_protocol.h"
#include "panel/panel_timing.h"
#include "panel/supply_panel_dlg.h"

#include <thread>

void CSupplyPanelDlg::OnSupplyFound(const pelmora::SerialPortEntry& port) {
    StopWatching();
    // What they warned of is over.
    if (m_alert) {
        m_alert->reject();
    }
    if (m_notFoundBox) {
        m_notFoundBox->reject();
    }
    m_controller.Found();
    m_supplyPort = port;
    m_supplyWatch.FollowSupply(pelmora::StableDeviceName(port.devicePath));
    // However the program ends from here on, the supply hears the reset.
    m_port.SetLastWords(pelmora::protocol::kResetCommand);
    m_alertArmed = true;
    ShowConnection();
}

void CSupplyPanelDlg::OnSupplyLost() {
    // Closed at once, so that the system can give the returning device its old name.
    m_port.Close();
    // The recording says when the supply went, once, whether a poll was out or not.
    NoteLoss();
    // Nothing can be sent: the program ends, and the output counts as off.
    Carry(m_controller.Lost(std::chrono::steady_clock::now()));
    ShowConnection();
    StartWatching();
    if (m_alertArmed) {
        m_alertArmed = false;
        ShowAlert();
    }
}

void CSupplyPanelDlg::StartWatching() {
    m_supplyWatch.Start(pelmora::ListSerialPorts(), BusyPorts(m_searchedPorts));
    if (m_watchTimerId == 0) {
        m_watchTimerId = startTimer(pelmora::timing::kWatchPeriod);
    }
}

void CSupplyPanelDlg::StopWatching() {
    if (m_watchTimerId != 0) {
        killTimer(m_watchTimerId);
        m_watchTimerId = 0;
    }
}

void CSupplyPanelDlg::OnWatchTimer() {
    const auto found = m_supplyWatch.Look(
        pelmora::ListSerialPorts(), [this](const pelmora::SerialPortEntry& entry) {
            if (ProbeDevice(entry)) {
                return pelmora::ProbeOutcome::Supply;
            }
            return m_port.LastOpenFailure().problem == pelmora::PortProblem::Busy
                       ? pelmora::ProbeOutcome::Busy
                       : pelmora::ProbeOutcome::NotSupply;
        });
    if (found) {
        SendReset();
        OnSupplyFound(*found);
    }
}

bool CSupplyPanelDlg::ProbeDevice(const pelmora::SerialPortEntry& port) {
    if (!m_port.OpenDevice(port.devicePath, pelmora::protocol::kBaudRate)) {
        return false;
    }
    std::this_thread::sleep_for(pelmora::timing::kSearchDelay);
    if (IdentifySupply()) {
        return true;
    }
    m_port.Close();
    return false;
}

void CSupplyPanelDlg::OnReconnect() {
    if (m_port.IsOpen()) {
        return;
    }
    StopWatching();
    // Not found, the search itself goes on watching.
    if (SearchSupply()) {
        std::this_thread::sleep_for(pelmora::timing::kStartupPause);
        SendReset();
        OnSupplyFound(FoundSupply(m_searchedPorts)->port);
    }
}
