#include "open_failure.h"

#include "system_error_text.h"

namespace pelmora {

namespace {

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

std::string GroupFixCommand(const std::string& group) {
    return "sudo usermod -aG " + group + " $USER";
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
        return "permission denied: the device belongs to group " + failure.deviceGroup + "; run '" +
               GroupFixCommand(failure.deviceGroup) + "', then log in again";
    case PortProblem::Busy:
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
