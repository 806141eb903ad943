#include "link/port_list.h"
#include "link/supply_protocol.h"
#include "panel/not_found_message.h"
#include "panel/panel_timing.h"
#include "panel/response_box.h"
#include "panel/search_report.h"
#include "panel/supply_panel_dlg.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <iostream>
#include <thread>

namespace {

constexpr const char* kPortFoundStatus = "found a port";
constexpr const char* kNoPortStatus = "no port";

} // namespace

bool CSupplyPanelDlg::ProbePort(int portNumber) {
    const auto entry = pelmora::FindPortEntry(portNumber);
    // The entry just looked up is the device opened: the port list is read once per number.
    const bool opened = entry && m_port.OpenDevice(entry->devicePath, pelmora::protocol::kBaudRate);
    if (entry) {
        SearchedPort searched;
        searched.port = *entry;
        searched.failure = m_port.LastOpenFailure();
        m_searchedPorts.push_back(std::move(searched));
    }
    ShowResponse(QString::fromLatin1(opened ? kPortFoundStatus : kNoPortStatus));
    return opened;
}

bool CSupplyPanelDlg::IdentifySupply() {
    return pelmora::protocol::IsIdentityReply(ExchangeCommand(pelmora::protocol::kIdentityRequest));
}

bool CSupplyPanelDlg::SearchSupply() {
    m_searchedPorts.clear();
    bool found = false;
    for (int n = pelmora::kLowestPortNumber; n <= pelmora::kHighestPortNumber; ++n) {
        if (!ProbePort(n)) {
            continue;
        }
        std::this_thread::sleep_for(pelmora::timing::kSearchDelay);
        found = IdentifySupply();
        m_searchedPorts.back().reply = m_responseEdit->Text().toLatin1().toStdString();
        m_searchedPorts.back().isSupply = found;
        if (found) {
            break;
        }
        m_port.Close();
    }
    const std::string program = QCoreApplication::applicationName().toStdString();
    if (const auto malformed = pelmora::MalformedPortsVariable()) {
        std::cerr << program << ": " << pelmora::DescribeMalformedPortsVariable(*malformed) << '\n';
    }
    for (const auto& port : m_searchedPorts) {
        std::cerr << program << ": " << DescribeSearchedPort(port) << '\n';
    }
    if (!found) {
        // Watched for from now on, while the boxes below wait for someone too: a supply that
        // is plugged in or let go meanwhile is found, and the boxes close.
        StartWatching();
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        NotFoundMessage(), QMessageBox::Ok, this);
        m_notFoundBox = &box;
        box.exec();
        // What the user can put right at the machine comes after the message, which stays as
        // it always was.
        if (const QString fixable = FixablePortsMessage(m_searchedPorts);
            !fixable.isEmpty() && !m_closed && !m_port.IsOpen()) {
            QMessageBox advice(QMessageBox::Information, QCoreApplication::applicationName(),
                               fixable, QMessageBox::Ok, this);
            m_notFoundBox = &advice;
            advice.exec();
        }
    }
    return found;
}
