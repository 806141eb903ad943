#include "link/decimal_reading.h"
#include "link/supply_protocol.h"
#include "panel/response_box.h"
#include "panel/supply_panel_dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace {

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int CountOf(std::string_view bytes) {
    return static_cast<int>(bytes.size());
}

} // namespace

int CSupplyPanelDlg::HostWaitMs() const {
    // The box is ours and holds "30"; a text that reads as negative must not become a wait.
    return std::max(0, pelmora::DecimalReading(m_waitEdit->text().toStdString()));
}

void CSupplyPanelDlg::UpdateWindow() {
    QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
}

void CSupplyPanelDlg::ShowResponse(const QString& text) {
    m_responseEdit->SetText(text);
    UpdateWindow();
}

std::string CSupplyPanelDlg::ExchangeCommand(std::string_view command) {
    const int waitMs = HostWaitMs();
    m_port.Write(command.data(), CountOf(command));
    SleepMs(waitMs);
    std::array<char, pelmora::protocol::kReplyCapacity> buffer{};
    const int received = m_port.Read(buffer.data(), pelmora::protocol::kReplyCapacity);
    std::string reply = pelmora::protocol::ReplyText(buffer.data(), received);
    ShowResponse(QString::fromLatin1(reply.data(), CountOf(reply)));
    return reply;
}

void CSupplyPanelDlg::SendVoltage() {
    const std::string command = pelmora::protocol::BuildVoltageCommand(m_posCode, m_negCode);
    m_port.Write(command.data(), CountOf(command));
    SleepMs(pelmora::protocol::kVoltageSettleMs);
}

bool CSupplyPanelDlg::SendReset() {
    const int waitMs = HostWaitMs();
    const int written = m_port.Write(pelmora::protocol::kResetCommand.data(),
                                     CountOf(pelmora::protocol::kResetCommand));
    SleepMs(waitMs);
    return written == CountOf(pelmora::protocol::kResetCommand);
}
