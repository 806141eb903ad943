#include "link/open_failure.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using pelmora::DescribeOpenFailure;
using pelmora::OpenFailure;
using pelmora::PortHolder;
using pelmora::PortProblem;

namespace {

OpenFailure Unreadable(const std::string& owner, const std::string& group, unsigned mode) {
    OpenFailure failure;
    failure.problem = PortProblem::PermissionDenied;
    failure.deviceOwner = owner;
    failure.deviceGroup = group;
    failure.deviceMode = mode;
    return failure;
}

OpenFailure Busy(std::optional<PortHolder> holder, bool leftExclusive,
                 std::vector<PortHolder> openers = {}) {
    OpenFailure failure;
    failure.problem = PortProblem::Busy;
    failure.holder = std::move(holder);
    failure.leftExclusive = leftExclusive;
    failure.openers = std::move(openers);
    return failure;
}

} // namespace

TEST(OpenFailureWords, JoiningTheGroupIsAdvisedOnlyForTheGroupsOfUsersDevices) {
    for (const std::string group : {"dialout", "uucp", "plugdev", "tty"}) {
        // The character device's type bits are not part of what is shown.
        EXPECT_EQ(DescribeOpenFailure(Unreadable("root", group, 020660)),
                  "permission denied: the device belongs to group " + group +
                      "; run 'sudo usermod -aG " + group + " $USER', then log in again");
    }
    EXPECT_EQ(DescribeOpenFailure(Unreadable("root", "root", 020600)),
              "permission denied: the device is owned by root:root, mode 0600; have a udev rule "
              "give it to the dialout group (see \"Device permissions\" in the README)");
    for (const std::string group : {"disk", "wheel", "sudo", "dialouts", "Dialout", ""}) {
        const auto words = DescribeOpenFailure(Unreadable("lab", group, 0640));
        EXPECT_EQ(words.find("usermod"), std::string::npos) << group;
    }
    EXPECT_NE(
        DescribeOpenFailure(Unreadable("lab", "disk", 04640)).find("owned by lab:disk, mode 4640"),
        std::string::npos);
}

TEST(OpenFailureWords, ABusyPortSaysWhetherOneOfOursHoldsItOrItWasLeftExclusive) {
    EXPECT_EQ(DescribeOpenFailure(Busy(PortHolder{812, "minicom", true}, false)),
              "busy: held by PID 812 (minicom)");
    const PortHolder screen{4711, "screen", false};
    EXPECT_EQ(DescribeOpenFailure(Busy(screen, true, {screen})),
              "busy: left in exclusive mode, and kept open by PID 4711 (screen)");
    // Any of them may have left it so.
    EXPECT_EQ(DescribeOpenFailure(Busy(screen, true, {screen, {4800, "pelmora-sim", false}})),
              "busy: left in exclusive mode, and kept open by PID 4711 (screen), PID 4800 "
              "(pelmora-sim)");
    EXPECT_EQ(DescribeOpenFailure(Busy(std::nullopt, true)),
              "busy: left in exclusive mode by a program that keeps it open");
    // Where the system tells nothing about it.
    EXPECT_EQ(DescribeOpenFailure(Busy(std::nullopt, false)), "busy: in use by another program");
}
