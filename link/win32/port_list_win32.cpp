#include "link/win32/port_list_win32.h"

#include <algorithm>
#include <array>

namespace pelmora {

namespace {

// The room the system's list is read with, for a value's name and for its data.
constexpr DWORD kNameRoom = 256;
constexpr DWORD kDataRoom = 256;
// Other ways of naming the device namespace in a path.
constexpr std::string_view kOtherNamespaces[] = {"\\\\?\\", "\\??\\"};
// What separates the parts of a path, or a drive from its path.
constexpr std::string_view kPathSeparators = "\\/:";

std::string TextValue(HKEY key, const char* name) {
    std::array<char, kDataRoom + 1> data{};
    DWORD size = kDataRoom;
    DWORD type = 0;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    // The stored text may or may not end in its NUL.
    return std::string(data.data(), std::find(data.data(), data.data() + size, '\0'));
}

} // namespace

std::vector<SerialPortEntry> ReadPortListKey(HKEY key) {
    std::vector<SerialPortEntry> entries;
    for (DWORD index = 0;; ++index) {
        std::array<char, kNameRoom> name{};
        DWORD nameLength = kNameRoom;
        DWORD type = 0;
        if (::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, nullptr,
                            nullptr) != ERROR_SUCCESS) {
            break;
        }
        if (type != REG_SZ) {
            continue;
        }
        std::string port = TextValue(key, name.data());
        std::filesystem::path device = std::string(kDeviceNamespace) + port;
        entries.push_back({std::move(port), std::move(device)});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return PortNumberOf(a.name) < PortNumberOf(b.name);
    });
    return entries;
}

std::vector<SerialPortEntry> SystemSerialPorts() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    auto entries = ReadPortListKey(key);
    ::RegCloseKey(key);
    return entries;
}

std::string PortNameOfDevice(const std::filesystem::path& device) {
    const std::string text = device.string();
    std::string_view name = text;
    if (name.starts_with(kDeviceNamespace)) {
        name.remove_prefix(kDeviceNamespace.size());
    }
    for (const std::string_view prefix : kOtherNamespaces) {
        if (name.starts_with(prefix)) {
            name.remove_prefix(prefix.size());
        }
    }
    return std::string(name);
}

bool NamesADevice(const std::filesystem::path& device) {
    const std::string name = PortNameOfDevice(device);
    return !name.empty() && name.find_first_of(kPathSeparators) == std::string::npos;
}

} // namespace pelmora
