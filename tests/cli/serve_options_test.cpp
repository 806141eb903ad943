#include "cli/cli_options.h"
#include "server/listen_address.h"
#include "tests/cli/parsed_arguments.h"

#include <gtest/gtest.h>

namespace pelmora::cli {
namespace {

using server::FormatEndpoint;
using server::InAnyRange;
using server::ParseIpAddress;

TEST(ServeCommandLine, ListensOnLoopbackUnlessTold) {
    const auto plain = Parse({"serve"});
    ASSERT_TRUE(plain.options) << plain.error;
    EXPECT_EQ(plain.options->verb, Verb::Serve);
    EXPECT_EQ(FormatEndpoint(plain.options->listen.address, plain.options->listen.port),
              "127.0.0.1:5025");
    EXPECT_TRUE(plain.options->allowed.empty());
    EXPECT_FALSE(plain.options->offOnDisconnect);
    EXPECT_TRUE(plain.options->announce);

    const auto told = Parse({"serve", "--listen", "0.0.0.0:5026", "--allow", "10.0.0.0/8",
                             "--allow", "fd00::/8", "--off-on-disconnect", "--no-announce"});
    ASSERT_TRUE(told.options) << told.error;
    EXPECT_EQ(told.options->listen.port, 5026);
    ASSERT_EQ(told.options->allowed.size(), 2u);
    EXPECT_TRUE(InAnyRange(ParseIpAddress("fd00::5"), told.options->allowed));
    EXPECT_TRUE(told.options->offOnDisconnect);
    EXPECT_FALSE(told.options->announce);
}

TEST(ServeCommandLine, RefusesAnOpenAddressWithoutAllowAndBadValues) {
    for (const auto& arguments :
         {std::vector<std::string_view>{"serve", "--listen", "0.0.0.0:5025"},
          {"serve", "--listen", "[::]:5025"},
          {"serve", "--listen", "192.168.1.7"},
          {"serve", "--listen", "localhost:5025"},
          {"serve", "--allow", "10.0.0.1/40"},
          {"serve", "--listen", "127.0.0.1:99999"}}) {
        const auto parsed = ParseCommandLine(arguments);
        EXPECT_FALSE(parsed.options) << arguments.back();
        EXPECT_EQ(parsed.exitStatus, 2) << arguments.back();
    }
    const auto open = Parse({"serve", "--listen", "0.0.0.0:5025"});
    EXPECT_NE(open.error.find("--allow"), std::string::npos) << open.error;
}

} // namespace
} // namespace pelmora::cli
