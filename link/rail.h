#pragma once

// The supply's two outputs. The negative rail takes the same voltage codes as the positive one
// and carries its minus sign only in the text shown to the user.
namespace pelmora {

enum class Rail { Positive, Negative };

} // namespace pelmora
