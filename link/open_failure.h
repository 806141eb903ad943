#pragma once

#include <optional>
#include <string>
#include <vector>

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
    // Whether it holds the port's lock, as programs of ours do; else it merely has it open.
    bool holdsLock = true;
};

struct OpenFailure {
    PortProblem problem = PortProblem::None;
    // The system's error number behind the problem, 0 when there is none.
    int systemError = 0;
    // For PermissionDenied: the group that owns the device, when known; its owner and its
    // permission bits, e.g. "root" and 0600, when known.
    std::string deviceGroup;
    std::string deviceOwner;
    unsigned deviceMode = 0;
    // For Busy: who holds the device, when the system tells.
    std::optional<PortHolder> holder;
    // For Busy: the device is in exclusive mode and no program holds its lock. Exclusive mode
    // outlives the program that set it for as long as another keeps the device open.
    bool leftExclusive = false;
    // For a device left exclusive: the programs that keep it open, where the system tells. Any
    // of them may be the one that left it so.
    std::vector<PortHolder> openers;
};

// Problems the user can put right at the machine: join the device's group, or close the
// program that holds it.
bool IsFixableByUser(PortProblem problem);

// Problems of getting at a port that is there: the user may not open it, another program holds
// it, or it is no terminal. A missing or unlisted port is not one of them.
bool IsPortAccessProblem(PortProblem problem);

// One line in English for logs and the command line, e.g. "busy: held by PID 812 (minicom)".
std::string DescribeOpenFailure(const OpenFailure& failure);

// Whether `group` is one that systems give users' serial devices to, so that joining it is the
// fix; joining any other (root's, say) would be unsafe, and no help.
bool IsUserDeviceGroup(const std::string& group);

// The command that lets the user open the device, e.g. "sudo usermod -aG dialout $USER".
std::string GroupFixCommand(const std::string& group);

// The README section that gives a udev rule for a device whose group is no users' group.
inline constexpr const char* kDevicePermissionsSection = "Device permissions";

// The device's owner and group, e.g. "root:root", and its permission bits, e.g. "0600".
std::string DeviceOwners(const OpenFailure& failure);
std::string DeviceModeText(const OpenFailure& failure);

// "PID 812 (minicom), PID 4711 (screen)".
std::string OpenersText(const std::vector<PortHolder>& openers);

// What to do about a port left in exclusive mode.
inline constexpr const char* kLeftExclusiveAdvice =
    "end or restart that program, or have it release the port";

} // namespace pelmora
