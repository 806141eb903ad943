#include "scpi/session.h"

#include "link/voltage_table.h"

namespace pelmora::scpi {

namespace {

constexpr char kAnswerSeparator = ';';
constexpr char kReplyEnd = '\n';

} // namespace

Session::Session(Instrument& instrument) : m_instrument(instrument) {
    m_instrument.Attach(m_client);
}

Session::~Session() {
    m_instrument.Detach(m_client);
}

Step Session::Run() {
    while (!m_waiting) {
        if (!m_reader) {
            auto frame = m_framer.Next();
            if (!frame) {
                break;
            }
            if (frame->overlong) {
                m_client.Report(Error::TooMuchData);
                continue;
            }
            m_line = std::move(frame->text);
            m_reader.emplace(m_line);
            m_path.clear();
            m_answers.clear();
            m_draft = {};
            m_ending = false;
            m_endFlushed = false;
            m_measured.reset();
        }
        if (auto step = Advance()) {
            return *step;
        }
    }
    return Idle{};
}

void Session::Complete(const ActionResult& result) {
    if (!m_waiting) {
        return;
    }
    m_waiting = false;
    if (m_waitingForFlush) {
        m_waitingForFlush = false;
        if (const Error error = ErrorOf(result.outcome); error != Error::None) {
            m_client.Report(error);
        }
        return;
    }
    if (m_waitingForMeasure && result.outcome == ActionResult::Outcome::Done) {
        m_measured = Measured{m_instrument.Settings(), result};
    }
    m_result = result;
}

std::optional<Step> Session::Advance() {
    if (m_ending) {
        return FinishLine();
    }
    if (!m_command) {
        if (m_reader->AtEnd()) {
            m_ending = true;
            return std::nullopt;
        }
        if (!ReadUnit()) {
            return std::nullopt;
        }
    }
    if (m_command->afterChanges && !m_unitFlushed) {
        m_unitFlushed = true;
        if (const auto apply = Flush()) {
            return Await(*apply, true);
        }
    }
    return RunUnit();
}

bool Session::ReadUnit() {
    ProgramUnit unit;
    if (const Error error = m_reader->Next(unit); error != Error::None) {
        Abandon(error);
        return false;
    }
    if (unit.IsEmpty()) {
        return false;
    }
    // A header goes on from the path the last one left, unless it starts at the root; common
    // commands neither use nor move the path.
    std::vector<std::string> header = unit.mnemonics;
    if (!unit.IsCommon() && !unit.rooted) {
        header.insert(header.begin(), m_path.begin(), m_path.end());
    }
    const Command* command = FindCommand(header, unit.query);
    if (!command) {
        Abandon(Error::UndefinedHeader);
        return false;
    }
    if (!unit.IsCommon()) {
        header.pop_back();
        m_path = std::move(header);
    }
    if (unit.parameters.size() < command->fewestParameters) {
        Abandon(Error::MissingParameter);
        return false;
    }
    if (unit.parameters.size() > command->mostParameters) {
        Abandon(Error::ParameterNotAllowed);
        return false;
    }
    m_unit = std::move(unit);
    m_command = command;
    m_unitFlushed = false;
    m_result.reset();
    return true;
}

std::optional<Step> Session::RunUnit() {
    Call call(m_instrument, m_client, m_draft, m_unit, m_result, !m_answers.empty());
    m_command->handler(call);
    if (call.Request()) {
        if (m_measured && m_measured->settings == m_instrument.Settings() &&
            std::holds_alternative<MeasureAction>(*call.Request())) {
            m_result = m_measured->result;
            return RunUnit();
        }
        return Await(*call.Request(), false);
    }
    m_answers.insert(m_answers.end(), call.Answers().begin(), call.Answers().end());
    m_command = nullptr;
    m_result.reset();
    if (IsCommandError(call.Failure())) {
        m_ending = true;
    }
    return std::nullopt;
}

std::optional<Step> Session::FinishLine() {
    if (!m_endFlushed) {
        m_endFlushed = true;
        if (const auto apply = Flush()) {
            return Await(*apply, true);
        }
    }
    m_reader.reset();
    if (m_answers.empty()) {
        return std::nullopt;
    }
    std::string text;
    for (const auto& answer : m_answers) {
        if (!text.empty()) {
            text.push_back(kAnswerSeparator);
        }
        text += answer;
    }
    text.push_back(kReplyEnd);
    m_answers.clear();
    return Reply{std::move(text)};
}

std::optional<ApplyAction> Session::Flush() {
    if (m_draft.Empty()) {
        return std::nullopt;
    }
    const SupplySettings before = m_instrument.Settings();
    SupplySettings after = m_draft.Over(before);
    m_draft = {};
    if (after.outputOn && !before.outputOn && m_instrument.SupplyAbsent()) {
        // Lost while the line waited: the voltages are kept for the next "on", which the
        // supply's return must not bring by itself.
        m_client.Report(Error::HardwareMissing);
        after.outputOn = false;
    }
    if (after.outputOn && !before.outputOn && m_instrument.Trip()) {
        // Tripped while the line waited: the trip holds until it is cleared.
        m_client.Report(Error::SettingsConflict);
        after.outputOn = false;
    }
    if (after == before) {
        return std::nullopt;
    }
    m_instrument.Dispatch(after);
    if (!after.outputOn && !before.outputOn) {
        return std::nullopt;
    }
    return ApplyAction{after.outputOn, VoltageCodeAt(after.positiveStep),
                       VoltageCodeAt(after.negativeStep)};
}

Step Session::Await(const SupplyAction& action, bool forFlush) {
    m_waiting = true;
    m_waitingForFlush = forFlush;
    m_waitingForMeasure = std::holds_alternative<MeasureAction>(action);
    return Act{action};
}

void Session::Abandon(Error error) {
    m_client.Report(error);
    m_ending = true;
}

void Session::AbandonLine() {
    if (!m_waiting) {
        return;
    }
    m_waiting = false;
    m_waitingForFlush = false;
    m_waitingForMeasure = false;
    m_reader.reset();
    m_command = nullptr;
    m_result.reset();
    m_answers.clear();
    m_draft = {};
    m_measured.reset();
}

} // namespace pelmora::scpi
