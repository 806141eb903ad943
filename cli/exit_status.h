#pragma once

// What pelmora-cli's exit status tells a script.
namespace pelmora::cli {

inline constexpr int kExitSuccess = 0;
// No supply was found, or the supply did not answer as it should.
inline constexpr int kExitNoSupply = 1;
// The command line could not be followed; nothing was sent to any port.
inline constexpr int kExitUsage = 2;
// A port could not be used: permission, held by another program, or no terminal.
inline constexpr int kExitPortAccess = 3;
// The over-current protection tripped and switched the output off.
inline constexpr int kExitTripped = 4;

} // namespace pelmora::cli
