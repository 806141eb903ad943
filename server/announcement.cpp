#include "server/announcement.h"

#include "scpi/instrument.h"

namespace pelmora::server {

namespace {

// The keys LXI instruments give in the TXT records of their services.
constexpr std::string_view kTxtVersion = "txtvers=1";
constexpr std::string_view kManufacturerKey = "Manufacturer=";
constexpr std::string_view kModelKey = "Model=";
constexpr std::string_view kFirmwareKey = "FirmwareVersion=";
// Where a browser that finds _http._tcp opens the page.
constexpr std::string_view kPagePath = "path=/";
// The later bytes of a UTF-8 character are 10xxxxxx.
constexpr unsigned char kContinuationMask = 0xc0;
constexpr unsigned char kContinuationBits = 0x80;

std::string Keyed(std::string_view key, std::string_view value) {
    std::string text(key);
    text.append(value);
    return text;
}

} // namespace

Announcement PlanAnnouncement(const ListenAddress& scpi, const std::optional<ListenAddress>& http,
                              std::string_view model, std::string_view version) {
    const std::vector<std::string> instrument{
        std::string(kTxtVersion), Keyed(kManufacturerKey, scpi::kManufacturer),
        Keyed(kModelKey, model), Keyed(kFirmwareKey, version)};
    Announcement announcement;
    announcement.model = model;
    if (!IsLoopback(scpi.address)) {
        announcement.services.push_back({kScpiRawService, scpi, instrument});
    }
    if (http && !IsLoopback(http->address)) {
        std::vector<std::string> page = instrument;
        page.emplace_back(kPagePath);
        announcement.services.push_back({kHttpService, *http, std::move(page)});
        announcement.services.push_back({kLxiService, *http, instrument});
    }
    return announcement;
}

std::string ServiceName(std::string_view model, std::string_view host) {
    std::string name(scpi::kManufacturer);
    name.append(" ").append(model);
    if (!host.empty()) {
        name.append(" on ").append(host);
    }
    if (name.size() > kServiceNameBytes) {
        std::size_t cut = kServiceNameBytes;
        while (cut > 0 &&
               (static_cast<unsigned char>(name[cut]) & kContinuationMask) == kContinuationBits) {
            --cut;
        }
        name.resize(cut);
    }
    return name;
}

} // namespace pelmora::server
