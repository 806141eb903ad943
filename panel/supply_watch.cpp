#include "panel_timing.h"
#include "supply_panel_dlg.h"
#include "supply_protocol.h"

#include <algorithm>
#include <thread>

void CSupplyPanelDlg::OnSupplyFound(const pelmora::SerialPortEntry& port) {
    StopWatching();
    // What it warned of is over.
    if (m_alert) {
        m_alert->reject();
    }
    m_supplyPort = port;
    m_supplyStableName = pelmora::StableDeviceName(port.devicePath);
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
    m_outputOn = false;
    update();
    ShowConnection();
    StartWatching();
    if (m_alertArmed) {
        m_alertArmed = false;
        ShowAlert();
    }
}

void CSupplyPanelDlg::StartWatching() {
    m_portWatch.Start(pelmora::ListSerialPorts(), BusyPorts(m_searchedPorts));
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
    auto toTry = m_portWatch.Look(pelmora::ListSerialPorts());
    // The supply's own device first, recognised by its lasting name, whatever number it has now.
    if (m_supplyStableName) {
        const auto stableTarget = pelmora::DeviceIdentity(*m_supplyStableName);
        std::stable_partition(toTry.begin(), toTry.end(), [&](const auto& entry) {
            return stableTarget && pelmora::DeviceIdentity(entry.devicePath) == stableTarget;
        });
    }
    for (const auto& entry : toTry) {
        const bool found = ProbeDevice(entry);
        m_portWatch.NoteTried(entry,
                              m_port.LastOpenFailure().problem == pelmora::PortProblem::Busy);
        if (found) {
            SendReset();
            OnSupplyFound(entry);
            return;
        }
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
    if (SearchSupply()) {
        std::this_thread::sleep_for(pelmora::timing::kStartupPause);
        SendReset();
        OnSupplyFound(FoundSupply(m_searchedPorts)->port);
    } else if (!m_closed) {
        StartWatching();
    }
}
