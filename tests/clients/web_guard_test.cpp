// What a page on another site, or a peer outside --allow, asks of the HTTP face is refused
// before anything reaches the supply: the requests as such a page's browser would send them.
#include "tests/clients/served_supply.h"
#include "tests/support/scpi_socket.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kSwitchOn = "1";

std::string OwnHostName() {
    std::array<char, 256> name{};
    ::gethostname(name.data(), name.size() - 1);
    return name.data();
}

TEST_F(ServedWeb, ForeignHostsAndOriginsReadNothingAndSwitchNothing) {
    const std::string port = WebPortText();
    struct Attempt {
        const char* what;
        std::vector<std::string> headers;
        int status;
    };
    const std::vector<Attempt> attempts{
        // DNS rebinding: a name the attacker owns, turned into this machine's address.
        {"a rebound name", {"Host: attacker.example:" + port}, 421},
        {"a rebound name with its own page",
         {"Host: attacker.example:" + port, "Origin: http://attacker.example:" + port},
         421},
        {"a name that only starts as ours", {"Host: localhost.attacker.example:" + port}, 421},
        {"our name on another port", {"Host: localhost:1"}, 421},
        {"no port", {"Host: localhost"}, 421},
        // A page on another site, sending to this server by its address.
        {"another site's page", {"Origin: http://attacker.example"}, 403},
        {"a sandboxed page", {"Origin: null"}, 403},
        {"our address under another scheme", {"Origin: https://127.0.0.1:" + port}, 403},
    };
    for (const auto& attempt : attempts) {
        SCOPED_TRACE(attempt.what);
        const auto read = Request("GET", "/api/state", std::nullopt, attempt.headers);
        EXPECT_EQ(read.status, attempt.status) << read.problem;
        EXPECT_EQ(read.text.find("output"), std::string::npos) << read.text;
        const auto change = Request("PUT", "/api/output", kSwitchOn, attempt.headers);
        EXPECT_EQ(change.status, attempt.status) << change.problem;
    }
    ScpiSocket bench(*m_server.Port());
    EXPECT_EQ(bench.Query("OUTP?"), "0");
    EXPECT_TRUE(NewSettings().empty());
    // Each refusal is in the server's log with its peer, as the SCPI port's are.
    EXPECT_NE(m_server.Errors().find("refused over HTTP (421): "), std::string::npos)
        << m_server.Errors();
    EXPECT_NE(m_server.Errors().find("refused over HTTP (403): "), std::string::npos)
        << m_server.Errors();

    // The same request in this server's own terms goes through.
    const auto own = Request("PUT", "/api/output", kSwitchOn,
                             {"Host: localhost:" + port, "Origin: http://localhost:" + port});
    EXPECT_EQ(own.status, 200) << own.problem << own.text;
    ExpectNewSettings({"V010010\r"});
}

TEST_F(ServedWeb, ThisMachinesOwnNamesAndAddressesAreAnswered) {
    const std::string port = WebPortText();
    for (const auto& host :
         {"127.0.0.1:" + port, "[::1]:" + port, "localhost:" + port, "LocalHost:" + port,
          OwnHostName() + ":" + port, OwnHostName() + ".local:" + port}) {
        SCOPED_TRACE(host);
        const auto read = Request("GET", "/api/output", std::nullopt, {"Host: " + host});
        EXPECT_EQ(read.status, 200) << read.problem << read.text;
        EXPECT_EQ(read.text, "0");
    }
}

TEST_F(ServedWeb, FormPostsSwitchNothingWhereJsonDoes) {
    // The content types a plain form can send from another site without asking, and none.
    for (const auto& type :
         {"Content-Type: application/x-www-form-urlencoded",
          "Content-Type: multipart/form-data; boundary=pelmora", "Content-Type: text/plain"}) {
        SCOPED_TRACE(type);
        const auto post = Request("POST", "/api/output", kSwitchOn, {type});
        EXPECT_EQ(post.status, 415) << post.problem << post.text;
    }
    EXPECT_EQ(Request("POST", "/api/output", kSwitchOn).status, 415);
    ScpiSocket bench(*m_server.Port());
    EXPECT_EQ(bench.Query("OUTP?"), "0");
    EXPECT_TRUE(NewSettings().empty());

    const auto json =
        Request("POST", "/api/output", "true", {"Content-Type: application/json; charset=utf-8"});
    EXPECT_EQ(json.status, 200) << json.problem << json.text;
    ExpectNewSettings({"V010010\r"});
}

class WebForOtherNetworks : public ServedWeb {
protected:
    WebForOtherNetworks() : ServedWeb({"--allow", "192.0.2.0/24"}) {}
};

TEST_F(WebForOtherNetworks, APeerOutsideTheAllowedRangesIsRefused) {
    const auto read = Request("GET", "/api/state");
    EXPECT_EQ(read.status, 403) << read.problem;
    EXPECT_NE(read.text.find("--allow"), std::string::npos) << read.text;
    EXPECT_EQ(Request("PUT", "/api/output", kSwitchOn).status, 403);
    EXPECT_TRUE(NewSettings().empty());
}

} // namespace
