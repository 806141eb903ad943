#include "link/voltage_table.h"
#include "panel/drop_down_list.h"
#include "panel/file_choice.h"
#include "panel/sequence_dlg.h"
#include "panel/sequence_file_reader.h"
#include "panel/sequence_problem_text.h"
#include "panel/supply_panel_dlg.h"
#include "rules/voltage_sequence.h"

#include <QFileInfo>
#include <QPushButton>
#include <algorithm>

using namespace pelmora;
using Clock = SequenceSchedule::Clock;

namespace {

// The program runs through once from the panel.
constexpr std::size_t kPasses = 1;

std::chrono::milliseconds Until(Clock::time_point when) {
    return std::max(std::chrono::milliseconds{0},
                    std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()));
}

} // namespace

void CSupplyPanelDlg::OnRunSequence() {
    const QString path =
        ChooseFileToRead(this, tr("シーケンス実行"), tr("シーケンス (*.csv);;すべて (*)"));
    if (path.isEmpty() || m_closed || SequenceRunning() || !m_port.IsOpen() ||
        m_sequenceReader->Busy()) {
        return;
    }
    // Read on a thread of its own: whatever the file is, the polls go on and a close is
    // followed at once.
    m_sequenceReader->Start(path);
}

void CSupplyPanelDlg::OnSequenceFileRead(const QString& path, const SequenceFileText& read) {
    // Meanwhile the panel may have closed, lost the supply or been given another program.
    if (m_closed || SequenceRunning() || !m_port.IsOpen()) {
        return;
    }
    const QString fileName = QFileInfo(path).fileName();
    // The whole file is checked before anything goes to the supply.
    std::optional<SequenceProblem> problem = read.problem;
    if (!problem) {
        try {
            m_program = ParseSequence(read.text, fileName.toStdString());
        } catch (const SequenceError& error) {
            problem = error.Problem();
        }
    }
    if (problem) {
        OpenBox(QMessageBox::Warning,
                tr("シーケンスを実行できません: %1").arg(SequenceProblemText(fileName, *problem)));
        return;
    }
    if (m_protection.Tripped()) {
        // Refused with the reason, before the program begins.
        SwitchOutputOn();
        return;
    }
    m_schedule.emplace(m_program, Clock::now(), kPasses);
    LockSettings(true);
    m_sequenceDlg = new CSequenceDlg(fileName, *this);
    m_sequenceDlg->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_sequenceDlg, &QDialog::finished, this, [this] { EndSequence(true); });
    m_sequenceDlg->show();
    RunSlot(0);
}

void CSupplyPanelDlg::RunSlot(std::size_t number) {
    m_slotNumber = number;
    const auto slot = m_schedule->SlotAt(number);
    const SequenceStep& step = m_program[slot.step];
    // A step that keeps the voltages draws no new inrush, so the protection keeps watching.
    const bool voltageChanges = step.positiveCode != m_posCode || step.negativeCode != m_negCode;
    m_posCode = step.positiveCode;
    m_negCode = step.negativeCode;
    // The lists show what the supply is given.
    m_posVoltageCombo->setCurrentIndex(VoltageIndexOf(m_posCode));
    m_negVoltageCombo->setCurrentIndex(VoltageIndexOf(m_negCode));
    if (m_outputOn) {
        if (voltageChanges) {
            m_protection.VoltageChanged(Clock::now());
        }
        SendVoltage();
    } else if (!SwitchOutputOn()) {
        EndSequence(false);
        return;
    }
    ShowSequenceProgress();
    const std::size_t next = number + 1;
    const auto due =
        next < *m_schedule->SlotCount() ? m_schedule->SlotAt(next).start : *m_schedule->End();
    m_stepTimer.start(Until(due));
}

void CSupplyPanelDlg::OnStepDue() {
    if (!SequenceRunning()) {
        return;
    }
    const auto slot = m_schedule->Current(Clock::now());
    if (!slot) {
        EndSequence(true);
        return;
    }
    if (slot->number == m_slotNumber) {
        // Woken a little early: the step is still the last one applied.
        m_stepTimer.start(Until(slot->end));
        return;
    }
    RunSlot(slot->number);
}

void CSupplyPanelDlg::ShowSequenceProgress() {
    if (!SequenceRunning() || !m_sequenceDlg) {
        return;
    }
    const auto slot = m_schedule->SlotAt(m_slotNumber);
    m_sequenceDlg->ShowProgress(static_cast<int>(slot.step + 1), static_cast<int>(m_program.size()),
                                Until(*m_schedule->End()));
}

void CSupplyPanelDlg::EndSequence(bool switchOff) {
    if (!SequenceRunning()) {
        return;
    }
    m_schedule.reset();
    m_stepTimer.stop();
    LockSettings(false);
    if (m_sequenceDlg) {
        // Closed from here, its end must not end the program a second time.
        disconnect(m_sequenceDlg, &QDialog::finished, this, nullptr);
        m_sequenceDlg->close();
    }
    if (switchOff && m_outputOn) {
        SwitchOutputOff();
    }
}

void CSupplyPanelDlg::LockSettings(bool locked) {
    m_posVoltageCombo->setEnabled(!locked);
    m_negVoltageCombo->setEnabled(!locked);
    m_onOffButton->setEnabled(!locked);
}
