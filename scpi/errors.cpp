#include "scpi/errors.h"

#include "scpi/status_registers.h"

namespace pelmora::scpi {

namespace {

constexpr int kClassWidth = 100;
constexpr int kCommandClass = -1;
constexpr int kExecutionClass = -2;
constexpr int kDeviceClass = -3;
constexpr int kQueryClass = -4;

int ClassOf(Error error) {
    return static_cast<int>(error) / kClassWidth;
}

} // namespace

std::string_view ErrorText(Error error) {
    switch (error) {
    case Error::None:
        return "No error";
    case Error::Command:
        return "Command error";
    case Error::InvalidCharacter:
        return "Invalid character";
    case Error::Syntax:
        return "Syntax error";
    case Error::DataType:
        return "Data type error";
    case Error::ParameterNotAllowed:
        return "Parameter not allowed";
    case Error::MissingParameter:
        return "Missing parameter";
    case Error::UndefinedHeader:
        return "Undefined header";
    case Error::InvalidSuffix:
        return "Invalid suffix";
    case Error::InitIgnored:
        return "Init ignored";
    case Error::SettingsConflict:
        return "Settings conflict";
    case Error::DataOutOfRange:
        return "Data out of range";
    case Error::TooMuchData:
        return "Too much data";
    case Error::IllegalParameterValue:
        return "Illegal parameter value";
    case Error::DataCorruptOrStale:
        return "Data corrupt or stale";
    case Error::HardwareError:
        return "Hardware error";
    case Error::HardwareMissing:
        return "Hardware missing";
    case Error::QueueOverflow:
        return "Queue overflow";
    }
    return "Unknown error";
}

bool IsCommandError(Error error) {
    return ClassOf(error) == kCommandClass;
}

std::uint8_t EventBitOf(Error error) {
    switch (ClassOf(error)) {
    case kCommandClass:
        return esr::kCommandError;
    case kExecutionClass:
        return esr::kExecutionError;
    case kDeviceClass:
        return esr::kDeviceError;
    case kQueryClass:
        return esr::kQueryError;
    default:
        return 0;
    }
}

} // namespace pelmora::scpi
