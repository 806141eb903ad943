#include "server/announcement.h"

#include <gtest/gtest.h>

namespace pelmora::server {
namespace {

std::vector<std::string_view> Types(const Announcement& announcement) {
    std::vector<std::string_view> types;
    for (const auto& service : announcement.services) {
        types.push_back(service.type);
    }
    return types;
}

Announcement Plan(std::string_view scpi, std::optional<std::string_view> page) {
    std::optional<ListenAddress> http;
    if (page) {
        http = ParseListenAddress(*page);
    }
    return PlanAnnouncement(ParseListenAddress(scpi), http, "DRELVOV99", "1.0.0.1");
}

TEST(Announcement, LeavesOutWhatOnlyThisMachineReaches) {
    EXPECT_TRUE(Plan("127.0.0.1:5025", std::nullopt).services.empty());
    EXPECT_TRUE(Plan("[::1]:5025", "127.0.0.2:8080").services.empty());

    const auto scpiOnly = Plan("192.168.1.7:5025", "127.0.0.1:8080");
    EXPECT_EQ(Types(scpiOnly), std::vector<std::string_view>{kScpiRawService});

    const auto pageOnly = Plan("127.0.0.1:5025", "0.0.0.0:8080");
    EXPECT_EQ(Types(pageOnly), (std::vector<std::string_view>{kHttpService, kLxiService}));
    for (const auto& service : pageOnly.services) {
        EXPECT_EQ(FormatEndpoint(service.address.address, service.address.port), "0.0.0.0:8080");
    }

    const auto both = Plan("[fd00::7]:5025", "[fd00::7]:8080");
    EXPECT_EQ(Types(both),
              (std::vector<std::string_view>{kScpiRawService, kHttpService, kLxiService}));
    EXPECT_EQ(both.services.front().address.port, 5025);
}

TEST(Announcement, NamesTheModelAndTheHostWithinOneLabel) {
    EXPECT_EQ(ServiceName("DRELVOV99", "bench"), "Pelmora DRELVOV99 on bench");
    EXPECT_EQ(ServiceName("DRELVOV99", ""), "Pelmora DRELVOV99");

    // Two bytes each, the 21st of which would straddle the 63rd byte.
    std::string host = "x";
    std::string kept = "Pelmora DRELVOV99 on x";
    for (int i = 0; i < 30; ++i) {
        host += "\xc3\xa9";
        if (i < 20) {
            kept += "\xc3\xa9";
        }
    }
    EXPECT_EQ(ServiceName("DRELVOV99", host), kept);
    EXPECT_EQ(ServiceName("DRELVOV99", std::string(80, 'b')).size(), kServiceNameBytes);
}

} // namespace
} // namespace pelmora::server
