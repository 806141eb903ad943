#include "link/serial_channel.h"

#include "link/port_list.h"

// What every backend shares: ports are found by number in the port list, and a command goes
// out byte by byte, each with its own bounded wait.

bool CSerialChannel::Refuse(pelmora::PortProblem problem, int systemError) {
    m_failure.problem = problem;
    m_failure.systemError = systemError;
    return false;
}

bool CSerialChannel::Open(int portNumber, int baudRate) {
    if (m_isOpen) {
        return true;
    }
    m_failure = {};
    const auto device = pelmora::FindPortDevice(portNumber);
    if (!device) {
        return Refuse(pelmora::PortProblem::NotListed);
    }
    return OpenDevice(*device, baudRate);
}

int CSerialChannel::Write(const void* bytes, int count) {
    if (!m_isOpen || m_gone || count <= 0) {
        return 0;
    }
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < count; ++i) {
        WriteByte(data[i]);
    }
    return count;
}
