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
    std::vector<SequenceStep> steps;
    if (!problem) {
        try {
            steps = ParseSequence(read.text, fileName.toStdString());
        } catch (const SequenceError& error) {
            problem = error.Problem();
        }
    }
    if (problem) {
        OpenBox(QMessageBox::Warning,
                tr("シーケンスを実行できません: %1").arg(SequenceProblemText(fileName, *problem)));
        return;
    }
    const auto reaction =
        m_controller.StartProgram(std::move(steps), kPasses, true, Clock::now());
    if (reaction.refused == Refusal::Tripped) {
        // Refused with the reason, before the program begins.
        ShowTripRefusal();
        return;
    }
    LockSettings(true);
    m_sequenceDlg = new CSequenceDlg(fileName, *this);
    m_sequenceDlg->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_sequenceDlg, &QDialog::finished, this, [this] { StopSequence(); });
    m_sequenceDlg->show();
    Carry(reaction);
    ScheduleNextStep();
}

void CSupplyPanelDlg::OnStepDue() {
    if (!SequenceRunning()) {
        return;
    }
    Carry(m_controller.Tick(Clock::now()));
    ScheduleNextStep();
}

void CSupplyPanelDlg::ScheduleNextStep() {
    if (const auto due = m_controller.NextDue()) {
        m_stepTimer.start(Until(*due));
    }
}

void CSupplyPanelDlg::ShowSequenceProgress() {
    const auto progress = m_controller.Progress();
    if (!progress || !m_sequenceDlg) {
        return;
    }
    m_sequenceDlg->ShowProgress(static_cast<int>(progress->step + 1),
                                static_cast<int>(progress->steps),
                                progress->end ? Until(*progress->end) : std::chrono::milliseconds{});
}

void CSupplyPanelDlg::StopSequence() {
    Carry(m_controller.StopProgram(Clock::now()));
}

void CSupplyPanelDlg::SequenceEnded() {
    m_stepTimer.stop();
    LockSettings(false);
    if (m_sequenceDlg) {
        // Closed from here, its end must not end the program a second time.
        disconnect(m_sequenceDlg, &QDialog::finished, this, nullptr);
        m_sequenceDlg->close();
    }
}

void CSupplyPanelDlg::LockSettings(bool locked) {
    m_posVoltageCombo->setEnabled(!locked);
    m_negVoltageCombo->setEnabled(!locked);
    m_onOffButton->setEnabled(!locked);
}
