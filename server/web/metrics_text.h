#pragma once

#include "server/supply_view.h"

#include <string>

namespace pelmora::server {

// GET /metrics in Prometheus' text format, version 0.0.4: base units (amperes, volts), each
// metric with its HELP and TYPE, a rail as the label rail="positive" or "negative".
std::string MetricsText(const SupplyView& view);

// The Content-Type Prometheus expects of it.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

} // namespace pelmora::server
