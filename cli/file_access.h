#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelmora::cli {

// Why `file` could not be written, found without creating or changing anything: a file that
// exists must be one that may be written, else its directory must let it be made. Empty when
// nothing stands in the way.
std::optional<std::string> WhyNotWritable(const std::filesystem::path& file);

} // namespace pelmora::cli
