#include "link/open_failure.h"

#include "link/system_error_text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace pelmora {

namespace {

constexpr std::array<std::string_view, 4> kUserDeviceGroups = {"dialout", "uucp", "plugdev", "tty"};
// Permission bits are written as four octal digits, as chmod takes them.
constexpr unsigned kPermissionBits = 07777;
constexpr int kModeDigits = 4;
constexpr unsigned kOctalDigitBits = 3;
constexpr unsigned kOctalDigitMask = 07;

std::string SystemMessage(int error) {
    return error == 0 ? std::string() : " (" + SystemErrorText(error) + ")";
}

} // namespace

bool IsFixableByUser(PortProblem problem) {
    return problem == PortProblem::PermissionDenied || problem == PortProblem::Busy;
}

bool IsPortAccessProblem(PortProblem problem) {
    return IsFixableByUser(problem) || problem == PortProblem::NotTerminal ||
           problem == PortProblem::NotCharacterDevice;
}

bool IsUserDeviceGroup(const std::string& group) {
    return std::find(kUserDeviceGroups.begin(), kUserDeviceGroups.end(), group) !=
           kUserDeviceGroups.end();
}

std::string GroupFixCommand(const std::string& group) {
    return "sudo usermod -aG " + group + " $USER";
}

std::string DeviceOwners(const OpenFailure& failure) {
    return failure.deviceOwner + ":" + failure.deviceGroup;
}

std::string DeviceModeText(const OpenFailure& failure) {
    std::string mode(kModeDigits, '0');
    unsigned bits = failure.deviceMode & kPermissionBits;
    for (auto digit = mode.rbegin(); digit != mode.rend(); ++digit, bits >>= kOctalDigitBits) {
        *digit = static_cast<char>('0' + (bits & kOctalDigitMask));
    }
    return mode;
}

std::string OpenersText(const std::vector<PortHolder>& openers) {
    std::string text;
    for (const auto& opener : openers) {
        if (!text.empty()) {
            text += ", ";
        }
        text += "PID " + std::to_string(opener.pid) + " (" + opener.name + ")";
    }
    return text;
}

std::string DescribeOpenFailure(const OpenFailure& failure) {
    switch (failure.problem) {
    case PortProblem::None:
        return "open";
    case PortProblem::NotListed:
        return "not listed";
    case PortProblem::Missing:
        return "missing";
    case PortProblem::NotCharacterDevice:
        return "not a terminal (not a character device; left unopened)";
    case PortProblem::NotTerminal:
        return "not a terminal";
    case PortProblem::PermissionDenied:
        if (failure.deviceGroup.empty()) {
            return "permission denied";
        }
        if (!IsUserDeviceGroup(failure.deviceGroup)) {
            return "permission denied: the device is owned by " + DeviceOwners(failure) +
                   ", mode " + DeviceModeText(failure) +
                   "; have a udev rule give it to the dialout group (see \"" +
                   kDevicePermissionsSection + "\" in the README)";
        }
        return "permission denied: the device belongs to group " + failure.deviceGroup + "; run '" +
               GroupFixCommand(failure.deviceGroup) + "', then log in again";
    case PortProblem::Busy:
        if (failure.leftExclusive) {
            if (failure.openers.empty()) {
                return "busy: left in exclusive mode by a program that keeps it open";
            }
            return "busy: left in exclusive mode, and kept open by " + OpenersText(failure.openers);
        }
        if (!failure.holder) {
            return "busy: in use by another program";
        }
        return "busy: held by PID " + std::to_string(failure.holder->pid) + " (" +
               failure.holder->name + ")";
    case PortProblem::UnsupportedSpeed:
        return "speed not supported";
    case PortProblem::SettingsRefused:
        return "the terminal refused its settings" + SystemMessage(failure.systemError);
    case PortProblem::OpenFailed:
        return "cannot open" + SystemMessage(failure.systemError);
    }
    return "cannot open";
}

} // namespace pelmora
