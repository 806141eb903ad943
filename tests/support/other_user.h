#pragma once

#include <filesystem>
#include <functional>
#include <string>

// Runs `work` in a child process as a user without privileges, as a lab user's account is:
// when the tests run as root, the child becomes "nobody"; otherwise it stays the user it is.
// What `work` returns comes back as the result; -1 when the child could not be run.
struct OtherUserResult {
    int exitCode = -1;
    // Whatever the child wrote to the text it was given.
    std::string report;
};
OtherUserResult RunAsUnprivilegedUser(const std::function<int(std::string& report)>& work);

// True when RunAsUnprivilegedUser really leaves root behind (or the tests are not root).
bool CanRunUnprivileged();

// As root, gives the device to the dialout group, as serial ports have it and a pseudo-terminal
// may not, so that joining its group is the advice for it; false when that fails. Other users
// leave the device as it is.
bool GiveToDialoutGroup(const std::filesystem::path& device);
