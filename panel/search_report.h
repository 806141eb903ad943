#pragma once

#include "link/open_failure.h"
#include "link/port_list.h"

#include <QString>
#include <filesystem>
#include <string>
#include <vector>

// What the supply search met on one listed port.
struct SearchedPort {
    pelmora::SerialPortEntry port;
    // PortProblem::None when the port opened.
    pelmora::OpenFailure failure;
    // What the device answered the identity request with, when the port opened.
    std::string reply;
    bool isSupply = false;
};

// The port the supply was found on; null when it was not found.
const SearchedPort* FoundSupply(const std::vector<SearchedPort>& ports);

// The ports that another program held, to be tried again while the supply is watched for.
std::vector<pelmora::SerialPortEntry> BusyPorts(const std::vector<SearchedPort>& ports);

// One line for the log, e.g. "COM3 (/dev/ttyACM0): other device, answered "ACKPNDRELVOV01\r"".
std::string DescribeSearchedPort(const SearchedPort& port);

// The information box that follows the not-found message when listed ports could not be opened
// for a reason the user can put right: each such device with its reason and the fix. Empty when
// there is none.
QString FixablePortsMessage(const std::vector<SearchedPort>& ports);
