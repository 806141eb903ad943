#include "panel/about_dlg.h"
#include "panel/resource.h"
#include "panel/sequence_file_reader.h"
#include "panel/supply_panel_dlg.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

namespace {

// The lamp sits between the "output" label and the ON/OFF button, placed in pixels.
constexpr QPoint kLampPosition{110, 165};
// The window system keeps the low four bits of a system command for itself.
constexpr unsigned int kSystemCommandMask = 0xFFF0;
constexpr unsigned int kCloseCommand = 0xF060;

} // namespace

void CSupplyPanelDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(kLampPosition, LoadBitmapResource(m_outputOn ? IDB_LAMP_ON : IDB_LAMP_OFF));
}

void CSupplyPanelDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connect(menu.addAction(tr("電流グラフ")), &QAction::triggered, this,
            &CSupplyPanelDlg::OnShowGraph);
    if (m_recording.IsRecording()) {
        connect(menu.addAction(tr("記録を停止")), &QAction::triggered, this,
                &CSupplyPanelDlg::OnStopRecording);
    } else {
        connect(menu.addAction(tr("記録を開始…")), &QAction::triggered, this,
                &CSupplyPanelDlg::OnStartRecording);
    }
    connect(menu.addAction(tr("過電流保護…")), &QAction::triggered, this,
            &CSupplyPanelDlg::OnProtection);
    QAction* sequence = menu.addAction(tr("シーケンス実行…"));
    sequence->setEnabled(m_port.IsOpen() && !SequenceRunning() && !m_sequenceReader->Busy());
    connect(sequence, &QAction::triggered, this, &CSupplyPanelDlg::OnRunSequence);
    QAction* reconnect = menu.addAction(tr("再接続"));
    reconnect->setEnabled(!m_port.IsOpen());
    connect(reconnect, &QAction::triggered, this, &CSupplyPanelDlg::OnReconnect);
    // This window system gives the program no system menu of its own, so the About entry is
    // offered here and arrives as the same system command.
    if (const QString aboutText = LoadResourceString(IDS_ABOUTBOX); !aboutText.isEmpty()) {
        menu.addSeparator();
        connect(menu.addAction(aboutText), &QAction::triggered, this,
                [this] { OnSysCommand(IDM_ABOUTBOX, 0); });
    }
    menu.exec(event->globalPos());
}

void CSupplyPanelDlg::OnSysCommand(unsigned int nID, long long /*lParam*/) {
    if ((nID & kSystemCommandMask) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.setWindowModality(Qt::WindowModal);
        about.exec();
        return;
    }
    if ((nID & kSystemCommandMask) == kCloseCommand) {
        close();
    }
}
