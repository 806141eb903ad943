#pragma once

#include "link/usb_details.h"

#include <optional>
#include <string_view>
#include <windows.h>

namespace pelmora {

// Where the system keeps what it knows of each USB device under HKEY_LOCAL_MACHINE: a key per
// device kind named after its ids ("VID_2E8A&PID_000A", with "&MI_00" for one interface of a
// composite device), a key per device under it named after its serial number or an instance
// id made up by the system, and under that "Device Parameters" with the serial port's name.
inline constexpr const char* kUsbEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USB";

// The USB device whose serial port is named `portName` ("COM5"), from an open key laid out like
// the one above: the ids from its kind's name, the serial number where the system did not make
// one up, the maker and the description as the driver's entry has them. Empty when no USB
// device has that port.
std::optional<UsbDetails> FindUsbDetails(HKEY usbEnum, std::string_view portName);

} // namespace pelmora
