#pragma once

#include "serial_channel.h"

#include <QDialog>
#include <string>
#include <string_view>

class QLineEdit;
class QPlainTextEdit;

// The panel: the one window through which the user drives the supply. It owns the channel to
// the supply and every exchange with it; all of them run to completion on the UI thread.
class CSupplyPanelDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSupplyPanelDlg(QWidget* parent = nullptr);
    ~CSupplyPanelDlg() override;

    // Voltage command for both rails' stored codes, then the fixed settle pause. No reply.
    void SendVoltage();
    // Switches the supply's output off, then the host wait. No reply.
    void SendReset();
    // True when port n is listed and the channel opened it.
    bool ProbePort(int portNumber);
    // True when the open port answers the identity request with the supply's identity.
    bool IdentifySupply();
    // Tries every port number in turn and keeps the first supply open; tells the user when
    // there is none.
    bool SearchSupply();

private:
    // One exchange: write the command, wait the host wait time, take what has arrived (at most
    // one reply's worth) and show it in the response box. Returns the reply text.
    std::string ExchangeCommand(std::string_view command);
    int HostWaitMs() const;
    void ShowResponse(const QString& text);
    // Paints now whatever is waiting to be painted, as the exchanges block the event loop.
    void UpdateWindow();

    CSerialChannel m_port;
    std::string m_posCode;
    std::string m_negCode;
    QPlainTextEdit* m_responseEdit;
    QLineEdit* m_waitEdit;
};
