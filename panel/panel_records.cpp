#include "panel/current_graph_wnd.h"
#include "panel/file_choice.h"
#include "panel/supply_panel_dlg.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>

void CSupplyPanelDlg::NoteReading(const std::optional<pelmora::protocol::CurrentReading>& reading) {
    const pelmora::protocol::CurrentReading average{m_posHistory.Average(), m_negHistory.Average()};
    if (reading) {
        const std::chrono::duration<double> since = std::chrono::steady_clock::now() - m_traceStart;
        m_trace.Add({since.count(), reading->positiveMa, reading->negativeMa, average.positiveMa,
                     average.negativeMa});
    }
    // Away, the supply gives nothing to record: the row of its loss says when it went.
    if (m_port.IsOpen()) {
        RecordRow(reading, average);
    }
}

void CSupplyPanelDlg::NoteLoss() {
    RecordRow(std::nullopt, {m_posHistory.Average(), m_negHistory.Average()});
}

void CSupplyPanelDlg::RecordRow(const std::optional<pelmora::protocol::CurrentReading>& reading,
                                const pelmora::protocol::CurrentReading& average) {
    if (QString problem; !m_recording.Write(reading, average, problem)) {
        ReportRecordingFailure(m_recording.Path(), problem);
    }
}

void CSupplyPanelDlg::OnShowGraph() {
    if (!m_graph) {
        m_graph = new CCurrentGraphWnd(m_trace, this);
    }
    m_graph->show();
    m_graph->raise();
    m_graph->activateWindow();
}

void CSupplyPanelDlg::OnStartRecording() {
    const QString suggested =
        QStringLiteral("pelmora-%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path =
        ChooseFileToWrite(this, tr("記録を開始"), suggested, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty() || m_closed) {
        return;
    }
    if (QString problem; !m_recording.Start(path, problem)) {
        ReportRecordingFailure(path, problem);
        return;
    }
    ShowConnection();
}

void CSupplyPanelDlg::OnStopRecording() {
    m_recording.Stop();
    ShowConnection();
}

void CSupplyPanelDlg::ReportRecordingFailure(const QString& path, const QString& problem) {
    ShowConnection();
    // Left open without a loop of its own, as the alert is: the polls go on meanwhile.
    OpenBox(QMessageBox::Warning,
            tr("記録を停止しました。%1 に書き込めません: %2").arg(path, problem));
}
