#pragma once

#include <cstdint>

// IEEE 488.2's event status and status byte, and SCPI-99's two status structures, as plain
// arithmetic: the instrument sets conditions, a reader sees latched events and summaries.
namespace pelmora::scpi {

namespace esr {
inline constexpr std::uint8_t kOperationComplete = 0x01;
inline constexpr std::uint8_t kQueryError = 0x04;
inline constexpr std::uint8_t kDeviceError = 0x08;
inline constexpr std::uint8_t kExecutionError = 0x10;
inline constexpr std::uint8_t kCommandError = 0x20;
} // namespace esr

namespace stb {
inline constexpr std::uint8_t kErrorQueue = 0x04;
inline constexpr std::uint8_t kQuestionable = 0x08;
inline constexpr std::uint8_t kMessageAvailable = 0x10;
inline constexpr std::uint8_t kEventStatus = 0x20;
inline constexpr std::uint8_t kMasterSummary = 0x40;
inline constexpr std::uint8_t kOperation = 0x80;
} // namespace stb

namespace oper {
inline constexpr std::uint16_t kOutputOn = 1u << 8;
inline constexpr std::uint16_t kProgramRunning = 1u << 14;
} // namespace oper

namespace ques {
inline constexpr std::uint16_t kOverCurrent = 1u << 1;
inline constexpr std::uint16_t kSupplyAbsent = 1u << 9;
} // namespace ques

// The SCPI registers use fifteen bits: bit 15 is never set, so that a 16-bit signed reader
// sees no negative numbers.
inline constexpr std::uint16_t kStatusBits = 0x7FFF;

// A condition register, the event register that latches its rising bits until read, and the
// enable mask that decides which events reach the status byte.
class StatusStructure {
public:
    void SetCondition(std::uint16_t bit, bool set);
    std::uint16_t Condition() const { return m_condition; }
    // Reading the event register clears it.
    std::uint16_t TakeEvents();
    void ClearEvents() { m_events = 0; }
    void SetEnable(std::uint16_t mask) { m_enable = mask & kStatusBits; }
    std::uint16_t Enable() const { return m_enable; }
    bool Summary() const { return (m_events & m_enable) != 0; }

private:
    std::uint16_t m_condition = 0;
    std::uint16_t m_events = 0;
    std::uint16_t m_enable = 0;
};

class StatusRegisters {
public:
    StatusStructure operation;
    StatusStructure questionable;

    void RaiseEvent(std::uint8_t bits) {
        m_eventStatus = static_cast<std::uint8_t>(m_eventStatus | bits);
    }
    // *ESR?: reading clears it.
    std::uint8_t TakeEventStatus();
    void SetEventStatusEnable(std::uint8_t mask) { m_eventStatusEnable = mask; }
    std::uint8_t EventStatusEnable() const { return m_eventStatusEnable; }
    // The service request enable never holds bit 6: the master summary cannot enable itself.
    void SetServiceRequestEnable(std::uint8_t mask);
    std::uint8_t ServiceRequestEnable() const { return m_serviceRequestEnable; }

    // *STB? as one reader sees it: whether errors wait and whether it has a reply waiting
    // belong to the caller's view.
    std::uint8_t StatusByte(bool errorsQueued, bool messageAvailable) const;

    // *CLS: every event register, not the enables nor the conditions.
    void ClearEvents();
    // STATus:PRESet: the SCPI enables go back to none.
    void Preset();

private:
    std::uint8_t m_eventStatus = 0;
    std::uint8_t m_eventStatusEnable = 0;
    std::uint8_t m_serviceRequestEnable = 0;
};

} // namespace pelmora::scpi
