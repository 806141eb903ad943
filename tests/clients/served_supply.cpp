#include "tests/clients/served_supply.h"

#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <cstdlib>
#include <sstream>

namespace {

constexpr const char* kScripts = PELMORA_CLIENT_SCRIPTS;
constexpr const char* kPageAddress = "127.0.0.1:0";

std::vector<std::string> WithPage(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--http", kPageAddress});
    return arguments;
}

} // namespace

ClientRun RunClient(const std::vector<std::string>& command,
                    const std::map<std::string, std::string>& environment) {
    return RunToEnd(command, environment, kServeBound);
}

std::string ScriptPath(const std::string& name) {
    return std::string(kScripts) + "/" + name;
}

ClientRun RunScript(const std::string& script, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment) {
    std::vector<std::string> command{kPython, ScriptPath(script)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunClient(command, environment);
}

std::map<std::string, std::string> Answers(const std::string& out) {
    std::map<std::string, std::string> answers;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto space = line.find(' ');
        answers[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return answers;
}

double Amps(const std::string& answer) {
    return std::strtod(answer.c_str(), nullptr);
}

std::vector<std::string> Settings(const pelmora::sim::SimulatedSupply& supply) {
    std::vector<std::string> settings;
    for (const auto& logged : supply.Log()) {
        if (logged.bytes != "REQA\r" && logged.bytes != "REQPN\r") {
            settings.push_back(logged.bytes);
        }
    }
    return settings;
}

std::string LastSetting(const pelmora::sim::SimulatedSupply& supply) {
    const auto settings = Settings(supply);
    return settings.empty() ? "" : settings.back();
}

ServedSupply::ServedSupply(const std::vector<std::string>& serveArguments)
    : m_server(m_supply.SlavePath(), serveArguments) {}

void ServedSupply::SetUp() {
    ASSERT_TRUE(m_server.Port()) << m_server.Errors();
    // The server starts by switching the output off.
    ASSERT_TRUE(WaitUntil([&] { return LastSetting(m_supply) == "RST\r"; }, kServeBound));
    m_startSettings = Settings(m_supply).size();
}

std::vector<std::string> ServedSupply::NewSettings() const {
    const auto settings = Settings(m_supply);
    return {settings.begin() + static_cast<std::ptrdiff_t>(m_startSettings), settings.end()};
}

void ServedSupply::ExpectNewSettings(const std::vector<std::string>& expected) const {
    WaitUntil([&] { return NewSettings().size() >= expected.size(); }, kServeBound);
    EXPECT_EQ(NewSettings(), expected);
}

ServedWeb::ServedWeb(const std::vector<std::string>& serveArguments)
    : ServedSupply(WithPage(serveArguments)) {}

void ServedWeb::SetUp() {
    ASSERT_NO_FATAL_FAILURE(ServedSupply::SetUp());
    // The page's line comes with the listening line, once the server is ready.
    const std::string output = m_server.Output();
    const auto match = FirstMatch(output, R"(page at http://127\.0\.0\.1:(\d+)/)");
    ASSERT_TRUE(match) << output;
    m_webPort = static_cast<std::uint16_t>(std::stoul((*match)[1]));
}

std::string ServedWeb::Url(const std::string& path) const {
    return "http://127.0.0.1:" + WebPortText() + path;
}

WebReply ServedWeb::Request(const std::string& method, const std::string& path,
                            const std::optional<std::string>& body,
                            const std::vector<std::string>& headers) const {
    std::vector<std::string> arguments{method, Url(path)};
    if (body) {
        arguments.insert(arguments.end(), {"--data", *body});
    }
    for (const auto& header : headers) {
        arguments.insert(arguments.end(), {"--header", header});
    }
    const auto run = RunScript("web_request.py", arguments);
    auto answers = Answers(run.out);
    if (run.status != 0 || !answers.contains("status")) {
        return {0, {}, run.out + run.err};
    }
    return {std::stoi(answers["status"]), answers["text"], {}};
}
