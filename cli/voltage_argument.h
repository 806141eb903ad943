#pragma once

#include "link/typed_voltage.h"

// Voltages as a user types them on the command line; the rules are the device link's, shared
// with sequence files.
namespace pelmora::cli {

using pelmora::Rail;
using pelmora::StepText;
using pelmora::TableCodeOf;
using pelmora::ValidCodes;
using pelmora::ValidSteps;
using pelmora::VoltageCodeOf;

} // namespace pelmora::cli
