#pragma once

#include "link/serial_channel.h"
#include "panel/current_recording.h"
#include "panel/current_trace.h"
#include "panel/search_report.h"
#include "rules/current_history.h"
#include "rules/overcurrent_trip.h"
#include "rules/sequence_file.h"
#include "rules/supply_controller.h"
#include "rules/supply_watch.h"

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class CResponseBox;
class QPushButton;
class CDropDownList;
class CCurrentGraphWnd;
class CSequenceDlg;
class CSequenceFileReader;
class COverCurrentDlg;
class CPanelStatus;

namespace Ui {
class IDD_PANEL;
}

// The panel: the one window through which the user sets both rails, switches the supply's
// output and watches the currents. It owns the channel to the supply and every exchange with
// it; all of them run to completion on the UI thread, pausing it briefly where the supply
// needs time to answer.
class CSupplyPanelDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSupplyPanelDlg(QWidget* parent = nullptr);
    ~CSupplyPanelDlg() override;

    // Runs the start-up sequence (search, reset, poll timer) before the panel is first shown.
    int exec() override;
    // Escape and every other way of dismissing the panel switch the output off first.
    void reject() override;
    void accept() override;

    // Voltage command for both rails' stored codes, then the fixed settle pause. No reply.
    void SendVoltage();
    // Switches the supply's output off, then the host wait. No reply. False when the command
    // did not reach the device.
    bool SendReset();
    // True when port n is listed and the channel opened it.
    bool ProbePort(int portNumber);
    // True when the open port answers the identity request with the supply's identity.
    bool IdentifySupply();
    // Tries every port number in turn and keeps the first supply open. When there is none, it
    // watches for the supply from then on and tells the user; the watch closes its boxes when it
    // finds the supply.
    bool SearchSupply();
    // One current request; true when the reply was valid and both rails were updated.
    bool PollCurrents();
    // Searches every listed port again, as at start-up, and says so when nothing answers.
    void OnReconnect();
    // The current graph, opened beside the panel or brought to the front.
    void OnShowGraph();
    // Asks for a file and records every poll to it from now on; a second call stops.
    void OnStartRecording();
    void OnStopRecording();
    // The over-current protection's dialog: its settings for this session, and the trip's
    // clearing.
    void OnProtection();
    // Asks for a sequence file, checks all of it and runs it, the output on from its first step
    // and off after its last.
    void OnRunSequence();
    // The sequence file was read, or could not be: the program runs if all of it is right.
    void OnSequenceFileRead(const QString& path, const pelmora::SequenceFileText& read);

    // System commands: the About entry, or the window's own commands such as close.
    void OnSysCommand(unsigned int nID, long long lParam);

protected:
    void OnInitDialog();
    void OnTimer(int timerId);
    void OnClose();
    void OnBnClickedOnOff();
    void OnCbnDropdownPosVoltage();
    void OnCbnCloseupPosVoltage();
    void OnCbnDropdownNegVoltage();
    void OnCbnCloseupNegVoltage();

    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void DoDataExchange();
    template <typename Control> Control* BoundControl(int id);
    void FillVoltageList(CDropDownList& list, bool negativeRail, std::string_view code);
    void ShowFirstEntry(CDropDownList& list);
    void TakeChosenCode(CDropDownList& list, std::string& code);
    // One exchange: write the command, wait the host wait time, take what has arrived (at most
    // one reply's worth) and show it in the response box. Returns the reply text.
    std::string ExchangeCommand(std::string_view command);
    int HostWaitMs() const;
    void ShowResponse(const QString& text);
    // Paints now whatever is waiting to be painted, as the exchanges block the event loop.
    void UpdateWindow();
    // Ends any message or About box over the panel, as the panel is going away.
    void DismissOpenBoxes();
    // The alert over the panel, left open while the panel goes on polling, and closed when the
    // supply is found again.
    void ShowAlert();
    // Shift+F10 opens the same context menu as the Menu key.
    void AskForContextMenuOnShiftF10();
    // Where the supply is connected, or that it is not, whether the readings are recorded, and
    // the protection's limits or its trip: in the title, before the form's caption, in the
    // status lines, and in the protection dialog while it is open.
    void ShowConnection();

    // Every poll's outcome goes on to the graph and to the recording; none is taken for them.
    void NoteReading(const std::optional<pelmora::protocol::CurrentReading>& reading);
    // The supply was found gone: one row without readings marks when.
    void NoteLoss();
    void RecordRow(const std::optional<pelmora::protocol::CurrentReading>& reading,
                   const pelmora::protocol::CurrentReading& average);
    // The recording could not be written: it has ended, and the user is told why.
    void ReportRecordingFailure(const QString& path, const QString& problem);

    // The output goes on unless a trip is latched; then the user is told how to clear it.
    bool SwitchOutputOn();
    void SwitchOutputOff();
    // Carries out what the controller said, the commands in its order (a trip's reset first),
    // and shows what happened: the lamp, a trip, a program's end.
    void Carry(const pelmora::Reaction& reaction);
    // A poll's sample tripped the protection, whose reset went out before anything else: the
    // user learns which rail, or that the reset could not be delivered.
    void OnTrip(const pelmora::overcurrent::TripRecord& trip, bool delivered);
    // The trip keeps the output off: the user is told how to clear it.
    void ShowTripRefusal();
    // Leaves a box over the panel without a loop of its own, as the alert is.
    void OpenBox(QMessageBox::Icon icon, const QString& text);

    // Running a sequence: the controller steps it; the panel shows it and keeps its time.
    bool SequenceRunning() const { return m_controller.ProgramRunning(); }
    void OnStepDue();
    void ScheduleNextStep();
    void ShowSequenceProgress();
    // The sequence window's Stop, Escape or close: the program ends with the output off.
    void StopSequence();
    // The program is over (its end, Stop, a trip, the supply's loss): its window closes and the
    // settings are the user's again.
    void SequenceEnded();
    // The user's own settings of the voltages and the output are locked out while a program
    // runs, so that what the panel shows is what the program set.
    void LockSettings(bool locked);

    // Losing and finding the supply again.
    // The supply was found on this port: it gets the reset, whatever the end of the program.
    void OnSupplyFound(const pelmora::SerialPortEntry& port);
    // Its device went away: the port is closed at once, the output shown as off, and the ports
    // are watched for it to come back.
    void OnSupplyLost();
    void StartWatching();
    void StopWatching();
    // One look at the ports; a device that has appeared since the last one, or that another
    // program held when it was last tried, is asked who it is.
    void OnWatchTimer();
    // Opens a device and asks it who it is; leaves it open only if it is the supply.
    bool ProbeDevice(const pelmora::SerialPortEntry& port);

    std::unique_ptr<Ui::IDD_PANEL> m_ui;
    QIcon m_hIcon;
    bool m_outputOn = false;
    bool m_alertArmed = true;
    QPointer<QMessageBox> m_alert;
    // The search's not-found box or the advice after it, while one is open: the watch that
    // finds the supply closes it.
    QPointer<QMessageBox> m_notFoundBox;
    CPanelStatus* m_status = nullptr;
    QPointer<COverCurrentDlg> m_protectionDlg;
    int m_timerId = 0;
    CSerialChannel m_port;
    std::string m_posCode;
    std::string m_negCode;
    CurrentHistory m_posHistory;
    CurrentHistory m_negHistory;
    QLineEdit* m_posCurrentEdit = nullptr;
    QLineEdit* m_negCurrentEdit = nullptr;
    CResponseBox* m_responseEdit = nullptr;
    QLineEdit* m_commandEdit = nullptr;
    QLineEdit* m_waitEdit = nullptr;
    CDropDownList* m_posVoltageCombo = nullptr;
    CDropDownList* m_negVoltageCombo = nullptr;
    QPushButton* m_onOffButton = nullptr;
    bool m_initialised = false;
    bool m_closed = false;
    QString m_caption;
    // The outcome of the last search, port by port.
    std::vector<SearchedPort> m_searchedPorts;
    // Where the supply is, or was last.
    pelmora::SerialPortEntry m_supplyPort;
    pelmora::SupplyWatch m_supplyWatch;
    int m_watchTimerId = 0;
    // The readings of the last hour, and when the panel began taking them.
    CurrentTrace m_trace;
    std::chrono::steady_clock::time_point m_traceStart = std::chrono::steady_clock::now();
    CCurrentGraphWnd* m_graph = nullptr;
    CCurrentRecording m_recording;
    // The protection lives for the session only: the panel writes no settings.
    // The output, its voltages, the protection and a running program, with their rules.
    pelmora::SupplyController m_controller{pelmora::SupplyController::Policy{false, true}};
    // The running sequence: its steps, when each is due, the slot applied last.
    QTimer m_stepTimer;
    // A window of its own, no child of the panel's, so that no box over the panel blocks it.
    QPointer<CSequenceDlg> m_sequenceDlg;
    CSequenceFileReader* m_sequenceReader = nullptr;
};
