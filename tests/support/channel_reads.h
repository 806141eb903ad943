#pragma once

#include "link/serial_channel.h"

#include <cstddef>
#include <string>

// What a single Read of at most `maximum` bytes gives.
std::string ReadAll(CSerialChannel& channel, int maximum);

// Reads in replies' worth until `count` bytes have come, or nothing more does.
std::string ReadCount(CSerialChannel& channel, std::size_t count);
