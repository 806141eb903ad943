#include "server/listen_address.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace pelmora::server {
namespace {

std::string Endpoint(std::string_view text) {
    const auto address = ParseListenAddress(text);
    return FormatEndpoint(address.address, address.port);
}

std::string Refusal(std::string_view text) {
    try {
        ParseListenAddress(text);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "taken";
}

bool Allows(std::string_view range, std::string_view peer) {
    return InRange(ParseIpAddress(peer), ParseAddressRange(range));
}

TEST(ListenAddress, TakesBothFamiliesWithOrWithoutAPort) {
    EXPECT_EQ(Endpoint("127.0.0.1:40123"), "127.0.0.1:40123");
    EXPECT_EQ(Endpoint("127.0.0.1"), "127.0.0.1:5025");
    EXPECT_EQ(Endpoint("127.0.0.1:0"), "127.0.0.1:0");
    EXPECT_EQ(Endpoint("[::1]:5025"), "[::1]:5025");
    EXPECT_EQ(Endpoint("[::1]"), "[::1]:5025");
    EXPECT_EQ(Endpoint("[0:0::1]:65535"), "[::1]:65535");
    EXPECT_EQ(Endpoint("0.0.0.0:5025"), "0.0.0.0:5025");
}

TEST(ListenAddress, RefusesWhatWouldListenSomewhereElse) {
    EXPECT_NE(Refusal("::1:5025").find("in brackets"), std::string::npos);
    EXPECT_NE(Refusal("localhost:5025").find("not an IP address"), std::string::npos);
    EXPECT_NE(Refusal("127.0.0.1:65536").find("port number"), std::string::npos);
    EXPECT_NE(Refusal("127.0.0.1:-1").find("port number"), std::string::npos);
    EXPECT_NE(Refusal("127.0.0.1:").find("lacks the port"), std::string::npos);
    EXPECT_NE(Refusal("[::1]:").find("lacks the port"), std::string::npos);
    EXPECT_NE(Refusal("[::1").find("']'"), std::string::npos);
    EXPECT_NE(Refusal("[::1]5025").find(":PORT"), std::string::npos);
    EXPECT_NE(Refusal("[127.0.0.1]:5025").find("only an IPv6"), std::string::npos);
    EXPECT_NE(Refusal("[fe80::1%lo]:5025").find("not an IP address"), std::string::npos);
    EXPECT_NE(Refusal("127.1:5025").find("not an IP address"), std::string::npos);
}

TEST(ListenAddress, LoopbackIsTheWholeNetOfEachFamily) {
    EXPECT_TRUE(IsLoopback(ParseIpAddress("127.0.0.1")));
    EXPECT_TRUE(IsLoopback(ParseIpAddress("127.200.0.9")));
    EXPECT_TRUE(IsLoopback(ParseIpAddress("::1")));
    EXPECT_TRUE(IsLoopback(ParseIpAddress("::ffff:127.0.0.1")));
    EXPECT_FALSE(IsLoopback(ParseIpAddress("0.0.0.0")));
    EXPECT_FALSE(IsLoopback(ParseIpAddress("::")));
    EXPECT_FALSE(IsLoopback(ParseIpAddress("128.0.0.1")));
    EXPECT_FALSE(IsLoopback(ParseIpAddress("::2")));
    EXPECT_FALSE(IsLoopback(ParseIpAddress("192.168.1.7")));
}

TEST(AddressRange, MatchesThePrefixBitsAlone) {
    EXPECT_TRUE(Allows("192.168.1.0/24", "192.168.1.255"));
    EXPECT_FALSE(Allows("192.168.1.0/24", "192.168.2.1"));
    EXPECT_TRUE(Allows("10.0.0.0/9", "10.127.3.4"));
    EXPECT_FALSE(Allows("10.0.0.0/9", "10.128.3.4"));
    EXPECT_TRUE(Allows("10.0.0.5", "10.0.0.5"));
    EXPECT_FALSE(Allows("10.0.0.5", "10.0.0.4"));
    EXPECT_TRUE(Allows("0.0.0.0/0", "203.0.113.9"));
    EXPECT_TRUE(Allows("fd00::/8", "fd12:3456::1"));
    EXPECT_FALSE(Allows("fd00::/8", "fe80::1"));
    EXPECT_TRUE(Allows("::/0", "2001:db8::1"));
}

TEST(AddressRange, MatchesIpv4PeersOfAnIpv6SocketAsIpv4) {
    EXPECT_TRUE(Allows("192.168.1.0/24", "::ffff:192.168.1.7"));
    EXPECT_FALSE(Allows("192.168.1.0/24", "::ffff:192.168.2.7"));
    EXPECT_TRUE(Allows("::ffff:10.0.0.0/104", "10.1.2.3"));
    EXPECT_FALSE(Allows("::ffff:10.0.0.0/104", "11.1.2.3"));
    EXPECT_TRUE(Allows("::/0", "10.1.2.3"));
    // An IPv6 range whose bits happen to spell an IPv4 address is no IPv4 range.
    EXPECT_FALSE(Allows("c0a8:100::/24", "192.168.1.7"));
    EXPECT_FALSE(Allows("0.0.0.0/0", "2001:db8::1"));
}

TEST(AddressRange, RefusesPrefixesThatDoNotFit) {
    const auto refused = [](std::string_view text) {
        try {
            ParseAddressRange(text);
        } catch (const std::invalid_argument& error) {
            return std::string(error.what());
        }
        return std::string("taken");
    };
    EXPECT_NE(refused("10.0.0.0/33").find("0 to 32"), std::string::npos);
    EXPECT_NE(refused("fd00::/129").find("0 to 128"), std::string::npos);
    EXPECT_NE(refused("10.0.0.0/").find("prefix"), std::string::npos);
    EXPECT_NE(refused("10.0.0.0/x").find("prefix"), std::string::npos);
    EXPECT_NE(refused("192.168.1.7/24").find("past its /24 prefix"), std::string::npos);
    EXPECT_NE(refused("my-lab/24").find("not an IP address"), std::string::npos);
}

} // namespace
} // namespace pelmora::server
