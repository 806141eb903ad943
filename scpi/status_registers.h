#pragma once

#include <cstdint>

// IEEE 488.2's event status and status byte, and SCPI-99's two status structures, as plain
// arithmetic. The conditions belong to the supply and are shared; each client latches its own
// events from them, with its own enables, so that one client reading or clearing its registers
// takes nothing from another.
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

// One condition register of the supply's.
class Condition {
public:
    // The bits that rose: SCPI-99's default transition filter makes only a rise an event.
    std::uint16_t Set(std::uint16_t bit, bool set);
    std::uint16_t Bits() const { return m_bits; }

private:
    std::uint16_t m_bits = 0;
};

// One reader's event register over a shared condition, latching its rising bits until read,
// and the enable mask that decides which events reach that reader's status byte.
class EventRegister {
public:
    void Latch(std::uint16_t rising) { m_events = static_cast<std::uint16_t>(m_events | rising); }
    // Reading the event register clears it.
    std::uint16_t TakeEvents();
    void ClearEvents() { m_events = 0; }
    void SetEnable(std::uint16_t mask) { m_enable = mask & kStatusBits; }
    std::uint16_t Enable() const { return m_enable; }
    bool Summary() const { return (m_events & m_enable) != 0; }

private:
    std::uint16_t m_events = 0;
    std::uint16_t m_enable = 0;
};

// One client's registers.
class StatusRegisters {
public:
    EventRegister operation;
    EventRegister questionable;

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

    // *STB?: whether errors wait and whether the line has a reply waiting belong to the
    // caller's view.
    std::uint8_t StatusByte(bool errorsQueued, bool messageAvailable) const;

    // *CLS: every event register, not the enables.
    void ClearEvents();
    // STATus:PRESet: the SCPI enables go back to none.
    void Preset();

private:
    std::uint8_t m_eventStatus = 0;
    std::uint8_t m_eventStatusEnable = 0;
    std::uint8_t m_serviceRequestEnable = 0;
};

} // namespace pelmora::scpi
