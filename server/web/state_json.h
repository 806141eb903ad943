#pragma once

#include "server/supply_view.h"

#include <string>

namespace pelmora::server {

// The whole state as GET /api/state and the page's live stream give it, in JSON with base
// units in the names: "voltage_V", "current_mA", "limit_mA", "delay_s".
std::string StateJson(const SupplyView& view);

// The voltage a code stands for on a rail, in volts: "050" is 5 V, or -5 V on the negative rail.
double RailVolts(std::string_view code, Rail rail);

} // namespace pelmora::server
