#include "scpi/status_registers.h"

namespace pelmora::scpi {

std::uint16_t Condition::Set(std::uint16_t bit, bool set) {
    const auto before = m_bits;
    m_bits = static_cast<std::uint16_t>(set ? (m_bits | bit) : (m_bits & ~bit));
    return static_cast<std::uint16_t>(m_bits & ~before);
}

std::uint16_t EventRegister::TakeEvents() {
    const auto events = m_events;
    m_events = 0;
    return events;
}

std::uint8_t StatusRegisters::TakeEventStatus() {
    const auto value = m_eventStatus;
    m_eventStatus = 0;
    return value;
}

void StatusRegisters::SetServiceRequestEnable(std::uint8_t mask) {
    m_serviceRequestEnable = static_cast<std::uint8_t>(mask & ~stb::kMasterSummary);
}

std::uint8_t StatusRegisters::StatusByte(bool errorsQueued, bool messageAvailable) const {
    std::uint8_t value = 0;
    const auto add = [&value](bool holds, std::uint8_t bit) {
        if (holds) {
            value = static_cast<std::uint8_t>(value | bit);
        }
    };
    add(errorsQueued, stb::kErrorQueue);
    add(questionable.Summary(), stb::kQuestionable);
    add(messageAvailable, stb::kMessageAvailable);
    add((m_eventStatus & m_eventStatusEnable) != 0, stb::kEventStatus);
    add(operation.Summary(), stb::kOperation);
    add((value & m_serviceRequestEnable) != 0, stb::kMasterSummary);
    return value;
}

void StatusRegisters::ClearEvents() {
    m_eventStatus = 0;
    operation.ClearEvents();
    questionable.ClearEvents();
}

void StatusRegisters::Preset() {
    operation.SetEnable(0);
    questionable.SetEnable(0);
}

} // namespace pelmora::scpi
