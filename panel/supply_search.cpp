#include "not_found_message.h"
#include "panel_timing.h"
#include "port_list.h"
#include "supply_panel_dlg.h"
#include "supply_protocol.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <thread>

namespace {

constexpr const char* kPortFoundStatus = "found a port";
constexpr const char* kNoPortStatus = "no port";

} // namespace

bool CSupplyPanelDlg::ProbePort(int portNumber) {
    const bool listed = pelmora::FindPortDevice(portNumber).has_value();
    if (listed && m_port.Open(portNumber, pelmora::protocol::kBaudRate)) {
        ShowResponse(QString::fromLatin1(kPortFoundStatus));
        return true;
    }
    ShowResponse(QString::fromLatin1(kNoPortStatus));
    return false;
}

bool CSupplyPanelDlg::IdentifySupply() {
    return pelmora::protocol::IsIdentityReply(ExchangeCommand(pelmora::protocol::kIdentityRequest));
}

bool CSupplyPanelDlg::SearchSupply() {
    bool found = false;
    for (int n = pelmora::kLowestPortNumber; n <= pelmora::kHighestPortNumber; ++n) {
        if (!ProbePort(n)) {
            continue;
        }
        std::this_thread::sleep_for(pelmora::timing::kSearchDelay);
        if (IdentifySupply()) {
            found = true;
            break;
        }
        m_port.Close();
    }
    if (!found) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        QString::fromUtf8(kNotFoundMessage), QMessageBox::Ok, this);
        box.exec();
    }
    return found;
}
