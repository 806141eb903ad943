// The HTTP face's connections: a request RESTinio cannot parse is answered and closed, and the
// server goes on serving both faces; a connection kept alive carries request after request.
#include "tests/clients/served_supply.h"
#include "tests/support/scpi_socket.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST_F(ServedWeb, RequestsThatCannotBeReadAreAnswered400AndClosedAndServingGoesOn) {
    ScpiSocket bench(*m_server.Port());
    for (const auto* malformed :
         {"garbage", "request-line", "header-size", "header-count", "url-size", "body-size"}) {
        SCOPED_TRACE(malformed);
        const auto run = RunScript("web_malformed.py", {WebPortText(), malformed});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        auto answers = Answers(run.out);
        EXPECT_EQ(answers["status"], "400");
        EXPECT_EQ(answers["closed"], "end");
        EXPECT_EQ(bench.Query("OUTP?"), "0");
        const auto after = Request("GET", "/api/output");
        EXPECT_EQ(after.status, 200) << after.problem;
    }
    // The oversize body was a request to switch on.
    EXPECT_TRUE(NewSettings().empty());
}

TEST_F(ServedWeb, AKeptConnectionCarriesRequestAfterRequest) {
    const auto run = RunScript("web_keepalive.py", {WebPortText()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    auto answers = Answers(run.out);
    EXPECT_EQ(answers["on"], "200 1");
    EXPECT_EQ(answers["read"], "200 1");
    EXPECT_EQ(answers["missing"].substr(0, 3), "404");
    EXPECT_EQ(answers["off"], "200 0");
    EXPECT_EQ(answers["after"], "200 0");
    EXPECT_EQ(answers["connections"], "1");
    // A HEAD gets no body, which would be read as the start of the next answer; the stream of
    // states is only for GET.
    EXPECT_EQ(answers["heads"], "200,200,405,200");
    ExpectNewSettings({"V010010\r", "RST\r"});
}

} // namespace
