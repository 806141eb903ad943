#pragma once

#include <string>
#include <vector>

// A simulated supply that the panel runs for itself, so that a user without the hardware can
// try every control: the pelmora-sim beside this program, installed or in a build tree. It
// ends with the panel, also when the panel is killed.
class DemoSupply {
public:
    // Starts the simulated supply with `simArguments` and takes the port list entry it gives.
    // Throws std::runtime_error saying what went wrong.
    explicit DemoSupply(const std::vector<std::string>& simArguments);
    ~DemoSupply();
    DemoSupply(const DemoSupply&) = delete;
    DemoSupply& operator=(const DemoSupply&) = delete;

    // "NAME=PATH", the one entry of the demo's port list.
    const std::string& PortsEntry() const { return m_entry; }

private:
    long m_pid = -1;
    std::string m_entry;
};
