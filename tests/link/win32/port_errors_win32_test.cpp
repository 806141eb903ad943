#include "link/win32/port_errors_win32.h"

#include <gtest/gtest.h>

using pelmora::ErrorMeansDeviceGone;
using pelmora::OpenProblemOfError;
using pelmora::PortProblem;

TEST(PortErrors, AHeldPortIsBusyAndAnAbsentOneMissing) {
    // What Windows answers a second opener of a port, since the first asked for it unshared.
    EXPECT_EQ(OpenProblemOfError(ERROR_ACCESS_DENIED), PortProblem::Busy);
    EXPECT_EQ(OpenProblemOfError(ERROR_SHARING_VIOLATION), PortProblem::Busy);
    EXPECT_EQ(OpenProblemOfError(ERROR_FILE_NOT_FOUND), PortProblem::Missing);
    EXPECT_EQ(OpenProblemOfError(ERROR_PATH_NOT_FOUND), PortProblem::Missing);
    EXPECT_EQ(OpenProblemOfError(ERROR_INVALID_NAME), PortProblem::OpenFailed);
}

TEST(PortErrors, OnlyErrorsOfAVanishedDeviceMeanItIsGone) {
    for (const DWORD error : {ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
                              ERROR_NOT_READY, ERROR_DEVICE_NOT_CONNECTED}) {
        EXPECT_TRUE(ErrorMeansDeviceGone(error)) << error;
    }
    // A transfer the channel cancelled itself, a busy record, or no error at all.
    for (const DWORD error : {DWORD{0}, DWORD{ERROR_OPERATION_ABORTED}, DWORD{ERROR_BUSY},
                              DWORD{ERROR_IO_PENDING}, DWORD{ERROR_INVALID_PARAMETER}}) {
        EXPECT_FALSE(ErrorMeansDeviceGone(error)) << error;
    }
}
