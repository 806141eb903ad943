#include "link/win32/port_errors_win32.h"

namespace pelmora {

PortProblem OpenProblemOfError(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return PortProblem::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        return PortProblem::Missing;
    default:
        return PortProblem::OpenFailed;
    }
}

bool ErrorMeansDeviceGone(DWORD error) {
    switch (error) {
    // usbser.sys, once a CDC device is unplugged under an open handle.
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    // Wine, once the line it stands for hangs up.
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

} // namespace pelmora
