#include "panel/supply_panel_dlg.h"

#include "link/supply_protocol.h"
#include "link/voltage_table.h"
#include "panel/current_graph_wnd.h"
#include "panel/dialog_frame.h"
#include "panel/drop_down_list.h"
#include "panel/key_repeat_filter.h"
#include "panel/label_fit.h"
#include "panel/overcurrent_dlg.h"
#include "panel/panel_status.h"
#include "panel/panel_timing.h"
#include "panel/resource.h"
#include "panel/response_box.h"
#include "panel/sequence_dlg.h"
#include "panel/sequence_file_reader.h"
#include "ui_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <thread>

using namespace pelmora;

namespace {

// Between the parts of the title: where the supply is, the recording, the template's caption.
constexpr const char* kTitleSeparator = " \u2014 ";

} // namespace

CSupplyPanelDlg::CSupplyPanelDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::IDD_PANEL>()), m_hIcon(LoadAppIcon()),
      m_posCode(kDefaultVoltageCode), m_negCode(kDefaultVoltageCode) {
    m_ui->setupUi(this);
    // The texts are in the user's language by now; one longer than the template's is shown
    // whole.
    WidenLabelsToFit(*this);
    m_status = new CPanelStatus(*this);
    ApplyDialogFrame(*this);
    // exec() runs the panel, but modal to no other window: the sequence window, a window of its
    // own beside it, must take Stop and Escape whatever box is open over the panel.
    setWindowModality(Qt::WindowModal);
    m_caption = windowTitle();
    m_sequenceReader = new CSequenceFileReader(this);
    connect(m_sequenceReader, &CSequenceFileReader::finished, this,
            &CSupplyPanelDlg::OnSequenceFileRead);
    DoDataExchange();
    m_stepTimer.setSingleShot(true);
    // A step's start is its schedule's: a coarse timer could be late by a twentieth of its wait.
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stepTimer, &QTimer::timeout, this, &CSupplyPanelDlg::OnStepDue);
}

CSupplyPanelDlg::~CSupplyPanelDlg() {
    delete m_sequenceDlg.data();
}

template <typename Control> Control* CSupplyPanelDlg::BoundControl(int id) {
    for (auto* control : findChildren<Control*>()) {
        if (control->property(kControlIdProperty).toInt() == id) {
            return control;
        }
    }
    qFatal("panel form lacks control %d", id);
}

void CSupplyPanelDlg::DoDataExchange() {
    m_responseEdit = BoundControl<CResponseBox>(IDC_RESPONSE);
    m_commandEdit = BoundControl<QLineEdit>(IDC_COMMAND);
    m_waitEdit = BoundControl<QLineEdit>(IDC_WAIT_MS);
    m_posVoltageCombo = BoundControl<CDropDownList>(IDC_POS_VOLTAGE);
    m_negVoltageCombo = BoundControl<CDropDownList>(IDC_NEG_VOLTAGE);
    m_posCurrentEdit = BoundControl<QLineEdit>(IDC_POS_CURRENT);
    m_negCurrentEdit = BoundControl<QLineEdit>(IDC_NEG_CURRENT);

    connect(m_posVoltageCombo, &CDropDownList::dropDown, this,
            &CSupplyPanelDlg::OnCbnDropdownPosVoltage);
    connect(m_posVoltageCombo, &CDropDownList::closeUp, this,
            &CSupplyPanelDlg::OnCbnCloseupPosVoltage);
    connect(m_negVoltageCombo, &CDropDownList::dropDown, this,
            &CSupplyPanelDlg::OnCbnDropdownNegVoltage);
    connect(m_negVoltageCombo, &CDropDownList::closeUp, this,
            &CSupplyPanelDlg::OnCbnCloseupNegVoltage);
    // A step with the list closed is a choice like one from the open list.
    connect(m_posVoltageCombo, &CDropDownList::stepped, this,
            &CSupplyPanelDlg::OnCbnCloseupPosVoltage);
    connect(m_negVoltageCombo, &CDropDownList::stepped, this,
            &CSupplyPanelDlg::OnCbnCloseupNegVoltage);
    m_onOffButton = BoundControl<QPushButton>(IDC_ONOFF);
    connect(m_onOffButton, &QPushButton::clicked, this, &CSupplyPanelDlg::OnBnClickedOnOff);
    // The keys that press ON/OFF, on the button itself and, through the panel's default button,
    // from the other controls: a held key switches the output once. The filter watches every
    // control that can have the focus, as a key's release goes no further than that control.
    auto* heldKeys = new CKeyRepeatFilter({Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}, this);
    installEventFilter(heldKeys);
    for (auto* control : findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus) {
            control->installEventFilter(heldKeys);
        }
    }
    AskForContextMenuOnShiftF10();
}

void CSupplyPanelDlg::AskForContextMenuOnShiftF10() {
    // Shift+F10 is the keyboard's other way to a context menu; X11 turns only the Menu key into
    // a request, so the panel makes the same request, where the Menu key's would go.
    auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(shiftF10, &QShortcut::activated, this, [this] {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : this;
        const QPoint inside = target->rect().center();
        QContextMenuEvent request(QContextMenuEvent::Keyboard, inside, target->mapToGlobal(inside));
        QApplication::sendEvent(target, &request);
    });
}

void CSupplyPanelDlg::ShowConnection() {
    const QString separator = QString::fromUtf8(kTitleSeparator);
    QString where = tr("未接続");
    if (m_port.IsOpen()) {
        where =
            QStringLiteral("%1 (%2)").arg(QString::fromStdString(m_supplyPort.name),
                                          QString::fromStdString(m_supplyPort.devicePath.string()));
    }
    if (m_recording.IsRecording()) {
        where += separator + tr("記録中");
    }
    const auto& trip = m_controller.Trip();
    const auto& armed = m_controller.Protection();
    QString protection;
    if (trip) {
        protection = tr("トリップ: %1").arg(TripText(*trip));
    } else if (armed.AnyEnabled()) {
        const auto limitText = [](const overcurrent::RailLimit& limit) {
            return limit.enabled ? Milliamps(limit.limitMa) : tr("なし");
        };
        protection =
            tr("保護 正 %1 / 負 %2").arg(limitText(armed.positive), limitText(armed.negative));
    }
    m_status->Show(where, protection.isEmpty() ? tr("過電流保護: オフ") : protection,
                   trip.has_value());
    // The connection first: a window manager that cuts a long title cuts the caption, which
    // never changes.
    const QString title = protection.isEmpty() ? where : where + separator + protection;
    setWindowTitle(title + separator + m_caption);
    if (m_protectionDlg) {
        m_protectionDlg->ShowTrip(trip);
    }
}

int CSupplyPanelDlg::exec() {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    // A close request during start-up (a signal while the not-found box was up) ends the
    // panel before it is ever shown.
    if (m_closed) {
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void CSupplyPanelDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    // The start-up sequence's boxes come before the panel is shown and are placed over it, so
    // it takes its place first: the middle of the screen, where it will appear.
    if (const QScreen* display = screen()) {
        move(display->availableGeometry().center() - rect().center());
    }
    FillVoltageList(*m_posVoltageCombo, false, m_posCode);
    FillVoltageList(*m_negVoltageCombo, true, m_negCode);
    m_waitEdit->setText(QString::number(timing::kReplyWaitMs));
    const bool found = SearchSupply();
    if (found) {
        OnSupplyFound(FoundSupply(m_searchedPorts)->port);
    }
    ShowConnection();
    if (m_closed) {
        return;
    }
    // Only a supply the search found has yet to hear the reset: one that the watch found while
    // the not-found box was open heard it then, and without a supply there is no one to tell.
    if (found) {
        std::this_thread::sleep_for(timing::kStartupPause);
        SendReset();
    }
    m_timerId = startTimer(timing::kPollPeriod);
}

void CSupplyPanelDlg::FillVoltageList(CDropDownList& list, bool negativeRail,
                                      std::string_view code) {
    // Entries go in table order: a list position is a row of the voltage table.
    for (const auto& step : kVoltageSteps) {
        const auto text = negativeRail ? step.negativeText : step.positiveText;
        list.addItem(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
    }
    list.setCurrentIndex(VoltageIndexOf(code));
}

void CSupplyPanelDlg::ShowFirstEntry(CDropDownList& list) {
    list.setEditText(list.itemText(0));
}

void CSupplyPanelDlg::TakeChosenCode(CDropDownList& list, std::string& code) {
    const int chosen = list.currentIndex();
    code = VoltageCodeAt(chosen);
    // Opening the list showed its first entry; without a new choice the field shows the
    // rail's entry again.
    list.setEditText(list.itemText(chosen));
    // Sent at once while the output is on, kept for the next "on" while it is off.
    Carry(m_controller.SetVoltages(m_posCode, m_negCode, std::chrono::steady_clock::now()));
}

void CSupplyPanelDlg::OnCbnDropdownPosVoltage() {
    ShowFirstEntry(*m_posVoltageCombo);
}

void CSupplyPanelDlg::OnCbnCloseupPosVoltage() {
    TakeChosenCode(*m_posVoltageCombo, m_posCode);
}

void CSupplyPanelDlg::OnCbnDropdownNegVoltage() {
    ShowFirstEntry(*m_negVoltageCombo);
}

void CSupplyPanelDlg::OnCbnCloseupNegVoltage() {
    TakeChosenCode(*m_negVoltageCombo, m_negCode);
}

void CSupplyPanelDlg::OnBnClickedOnOff() {
    if (m_outputOn) {
        SwitchOutputOff();
    } else {
        SwitchOutputOn();
    }
}

void CSupplyPanelDlg::OnClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    // The reset below switches the output off; the program's window goes with the panel.
    SequenceEnded();
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    StopWatching();
    SendReset();
    std::this_thread::sleep_for(timing::kClosingPause);
    m_port.Close();
    m_recording.Stop();
    if (m_graph) {
        m_graph->close();
    }
    std::this_thread::sleep_for(timing::kClosingPause);
    DismissOpenBoxes();
}

void CSupplyPanelDlg::DismissOpenBoxes() {
    if (auto* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    for (auto* box : findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (box->isVisible()) {
            box->reject();
        }
    }
}

void CSupplyPanelDlg::closeEvent(QCloseEvent* event) {
    OnClose();
    QDialog::closeEvent(event);
}

void CSupplyPanelDlg::reject() {
    OnClose();
    QDialog::reject();
}

void CSupplyPanelDlg::accept() {
    OnClose();
    QDialog::accept();
}
