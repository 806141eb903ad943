#pragma once

#include <filesystem>
#include <string>
#include <windows.h>

namespace pelmora {

// A claim on a port that every program on the device link makes before it opens the port, and
// holds for as long as it has the port open: a named object that exists while any process holds
// it. The share mode of the open already keeps every other opener out on Windows; the claim
// does the same between our programs where the system does not enforce the share mode on
// devices (Wine does not).
class PortClaim {
public:
    PortClaim() = default;
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // False, with the system's error, when another process already holds the claim.
    bool Take(const std::filesystem::path& device, DWORD& error);
    void Let();

private:
    HANDLE m_object = nullptr;
};

// The object's name: one for each port however its path is written ("\\.\COM5", "\\.\com5",
// "COM5").
std::string PortClaimName(const std::filesystem::path& device);

} // namespace pelmora
