#include "link/win32/usb_details_win32.h"

#include "link/win32/port_list_win32.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace pelmora {

namespace {

constexpr DWORD kNameRoom = 256;
constexpr DWORD kTextRoom = 512;
constexpr const char* kParametersKey = "Device Parameters";
constexpr const char* kPortNameValue = "PortName";
constexpr const char* kMakerValue = "Mfg";
constexpr const char* kDescriptionValue = "DeviceDesc";
constexpr std::string_view kVendorMark = "VID_";
constexpr std::string_view kProductMark = "PID_";
constexpr std::size_t kIdDigits = 4;
// An instance id the system made up for a device with no serial number holds this.
constexpr char kMadeUpInstanceMark = '&';
// A driver's text may name where it came from: "@usbser.inf,%desc%;USB Serial Device".
constexpr char kSourceSeparator = ';';

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

std::string Lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The four hexadecimal digits after `mark` in a kind's name, as Linux shows them ("2e8a").
std::string IdAfter(std::string_view kind, std::string_view mark) {
    const std::size_t at = kind.find(mark);
    if (at == std::string_view::npos) {
        return {};
    }
    return Lowercase(kind.substr(at + mark.size(), kIdDigits));
}

std::string Text(HKEY key, const char* subkey, const char* value) {
    std::array<char, kTextRoom> data{};
    DWORD size = kTextRoom - 1;
    if (::RegGetValueA(key, subkey, value, RRF_RT_REG_SZ, nullptr, data.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    std::string text(data.data());
    const std::size_t source = text.rfind(kSourceSeparator);
    return source == std::string::npos ? text : text.substr(source + 1);
}

std::vector<std::string> Subkeys(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        std::array<char, kNameRoom> name{};
        DWORD length = kNameRoom;
        if (::RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name.data(), length);
    }
}

} // namespace

std::optional<UsbDetails> FindUsbDetails(HKEY usbEnum, std::string_view portName) {
    for (const auto& kind : Subkeys(usbEnum)) {
        HKEY kindKey = nullptr;
        if (::RegOpenKeyExA(usbEnum, kind.c_str(), 0, KEY_READ, &kindKey) != ERROR_SUCCESS) {
            continue;
        }
        for (const auto& instance : Subkeys(kindKey)) {
            const std::string parameters = instance + "\\" + kParametersKey;
            if (!SameName(Text(kindKey, parameters.c_str(), kPortNameValue), portName)) {
                continue;
            }
            UsbDetails details;
            details.vendorId = IdAfter(kind, kVendorMark);
            details.productId = IdAfter(kind, kProductMark);
            details.manufacturer = Text(kindKey, instance.c_str(), kMakerValue);
            details.product = Text(kindKey, instance.c_str(), kDescriptionValue);
            if (instance.find(kMadeUpInstanceMark) == std::string::npos) {
                details.serial = instance;
            }
            ::RegCloseKey(kindKey);
            return details;
        }
        ::RegCloseKey(kindKey);
    }
    return std::nullopt;
}

std::optional<UsbDetails> UsbDetailsOfDevice(const std::filesystem::path& device) {
    HKEY usbEnum = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUsbEnumKey, 0, KEY_READ, &usbEnum) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    auto details = FindUsbDetails(usbEnum, PortNameOfDevice(device));
    ::RegCloseKey(usbEnum);
    return details;
}

} // namespace pelmora
