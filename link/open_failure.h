#pragma once

#include <optional>
#include <string>

// Why a port could not be opened, in terms a user can act on. The panel's diagnostics and the
// command-line tool both tell the user from this.
namespace pelmora {

enum class PortProblem {
    None,
    // No listed port has the number asked for.
    NotListed,
    // The listed device does not exist (unplugged, or a stale entry).
    Missing,
    // The path exists but is no character device; it is refused without being opened.
    NotCharacterDevice,
    // A device, but not a terminal.
    NotTerminal,
    // The user may not open the device; being in its group fixes that.
    PermissionDenied,
    // Another program holds the device.
    Busy,
    // The system has no setting for the speed asked for.
    UnsupportedSpeed,
    // The terminal did not take its modes.
    SettingsRefused,
    // Any other error of the system's open.
    OpenFailed,
};

// The program holding a port, as the system tells it.
struct PortHolder {
    long pid = 0;
    std::string name;
};

struct OpenFailure {
    PortProblem problem = PortProblem::None;
    // The system's error number behind the problem, 0 when there is none.
    int systemError = 0;
    // For PermissionDenied: the group that owns the device, when known.
    std::string deviceGroup;
    // For Busy: who holds the device, when the system tells.
    std::optional<PortHolder> holder;
};

// Problems the user can put right at the machine: join the device's group, or close the
// program that holds it.
bool IsFixableByUser(PortProblem problem);

// Problems of getting at a port that is there: the user may not open it, another program holds
// it, or it is no terminal. A missing or unlisted port is not one of them.
bool IsPortAccessProblem(PortProblem problem);

// One line in English for logs and the command line, e.g. "busy: held by PID 812 (minicom)".
std::string DescribeOpenFailure(const OpenFailure& failure);

// The command that lets the user open the device, e.g. "sudo usermod -aG dialout $USER".
std::string GroupFixCommand(const std::string& group);

} // namespace pelmora
