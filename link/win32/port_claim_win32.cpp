#include "link/win32/port_claim_win32.h"

#include "link/win32/port_list_win32.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace pelmora {

namespace {

// Seen by every session, so that a port held in one is not taken in another.
constexpr std::string_view kClaimPrefix = "Global\\Pelmora.port.";
// A name may hold no backslash after its namespace.
constexpr char kPathSeparator = '\\';
constexpr char kSeparatorStandIn = '/';

} // namespace

std::string PortClaimName(const std::filesystem::path& device) {
    std::string name(kClaimPrefix);
    for (const char c : PortNameOfDevice(device)) {
        name += c == kPathSeparator
                    ? kSeparatorStandIn
                    : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

PortClaim::~PortClaim() {
    Let();
}

bool PortClaim::Take(const std::filesystem::path& device, DWORD& error) {
    Let();
    HANDLE object = ::CreateMutexA(nullptr, FALSE, PortClaimName(device).c_str());
    error = ::GetLastError();
    // Another user's claim cannot even be opened: held all the same.
    if (object == nullptr) {
        return false;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(object);
        return false;
    }
    error = 0;
    m_object = object;
    return true;
}

void PortClaim::Let() {
    if (m_object != nullptr) {
        ::CloseHandle(m_object);
        m_object = nullptr;
    }
}

} // namespace pelmora
