#pragma once

#include <string>

// Lists the given devices as the machine's serial ports for as long as it lives.
class ListedPorts {
public:
    explicit ListedPorts(const std::string& entries);
    ~ListedPorts();
    ListedPorts(const ListedPorts&) = delete;
    ListedPorts& operator=(const ListedPorts&) = delete;
};
