#pragma once

#include "tests/support/listed_ports.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <termios.h>

// A pseudo-terminal pair standing in for a serial device: the code under test opens the slave
// path as it would a port, and the test plays the device on the master side.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::filesystem::path& DevicePath() const { return m_devicePath; }

    void Send(std::string_view bytes);
    // What the other side wrote, waiting at most timeoutMs for the first byte and briefly for
    // the rest.
    std::string Receive(int timeoutMs = 1000);
    // Closes the master: the slave side sees the device go away.
    void HangUp();
    // The modes of the slave side as whoever opened it left them. The pair starts with the
    // kernel's defaults, and nothing here changes them.
    termios SlaveModes() const;

private:
    int m_master = -1;
    std::filesystem::path m_devicePath;
};
