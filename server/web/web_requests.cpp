#include "server/web/web_requests.h"

#include "scpi/instrument.h"
#include "scpi/session.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <vector>

namespace pelmora::server {

namespace {

using nlohmann::json;

constexpr std::string_view kErrorCheck = "SYST:ERR?;ERR?;ERR?";
constexpr char kAnswerSeparator = ';';
constexpr int kSettingsConflict = -221;
constexpr int kHardwareError = -240;
constexpr int kHardwareMissing = -241;
constexpr int kIllegalValue = -224;
constexpr int kOutOfRange = -222;
constexpr int kInvalidSuffix = -131;

WebAnswer BadRequest(std::string text) {
    return {kHttpBadRequest, std::move(text)};
}

std::optional<json> ParsedObject(std::string_view body) {
    json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        return std::nullopt;
    }
    return parsed;
}

// A number as SCPI reads it back to the same value: the web's numbers are not rounded on the
// way.
std::string Exact(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

void Join(std::string& line, const std::string& unit) {
    if (!line.empty()) {
        line += ";:";
    }
    line += unit;
}

std::optional<WebAnswer> UnknownKeys(const json& object,
                                     std::initializer_list<std::string_view> known) {
    for (const auto& [key, value] : object.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            return BadRequest("unknown field \"" + key + "\"");
        }
    }
    return std::nullopt;
}

std::optional<WebAnswer> RailProtection(const json& object, std::string_view rail, int number,
                                        std::string& line) {
    const auto found = object.find(std::string(rail));
    if (found == object.end()) {
        return std::nullopt;
    }
    if (!found->is_object()) {
        return BadRequest("\"" + std::string(rail) + "\" must be an object");
    }
    if (auto unknown = UnknownKeys(*found, {"on", "limit_mA"})) {
        return unknown;
    }
    std::string units;
    Join(line, "INST:NSEL " + std::to_string(number));
    if (const auto limit = found->find("limit_mA"); limit != found->end()) {
        if (!limit->is_number()) {
            return BadRequest("\"limit_mA\" must be a number");
        }
        Join(line, "CURR:PROT " + Exact(limit->get<double>()) + " MA");
    }
    if (const auto on = found->find("on"); on != found->end()) {
        if (!on->is_boolean()) {
            return BadRequest("\"on\" must be true or false");
        }
        Join(line, std::string("CURR:PROT:STAT ") + (on->get<bool>() ? "ON" : "OFF"));
    }
    return std::nullopt;
}

// What a refused value was wrong with, in the user's terms.
std::string Why(int error) {
    switch (error) {
    case kIllegalValue:
        return "not one of the values it takes (the rails' sixteen steps, whole mA, whole ms); "
               "nothing is rounded";
    case kOutOfRange:
        return "outside the range it takes";
    case kInvalidSuffix:
        return "a unit it does not take";
    default:
        return "a value it does not take";
    }
}

int ErrorNumber(std::string_view answer) {
    int number = 0;
    std::from_chars(answer.data(), answer.data() + answer.size(), number);
    return number;
}

std::vector<std::string_view> Answers(std::string_view reply) {
    std::vector<std::string_view> answers;
    for (;;) {
        const auto separator = reply.find(kAnswerSeparator);
        answers.push_back(reply.substr(0, separator));
        if (separator == std::string_view::npos) {
            return answers;
        }
        reply.remove_prefix(separator + 1);
    }
}

} // namespace

std::variant<WebChange, WebAnswer> OutputChange(std::string_view body) {
    std::string_view value = body;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) {
        value.remove_suffix(1);
    }
    if (value == "1" || value == "true") {
        return WebChange{"OUTP ON", std::string(kErrorCheck)};
    }
    if (value == "0" || value == "false") {
        return WebChange{"OUTP OFF", std::string(kErrorCheck)};
    }
    return BadRequest("the output takes 1 or 0 (or true or false)");
}

std::variant<WebChange, WebAnswer> VoltagesChange(std::string_view body) {
    const auto object = ParsedObject(body);
    if (!object) {
        return BadRequest("a JSON object is needed, e.g. {\"positive_V\": 5, \"negative_V\": -12}");
    }
    if (auto unknown = UnknownKeys(*object, {"positive_V", "negative_V"})) {
        return *unknown;
    }
    std::string line;
    for (const auto& [key, rail] :
         {std::pair{"positive_V", "POS"}, std::pair{"negative_V", "NEG"}}) {
        const auto found = object->find(key);
        if (found == object->end()) {
            continue;
        }
        if (!found->is_number()) {
            return BadRequest(std::string("\"") + key + "\" must be a number of volts");
        }
        // Both rails in one line: the supply gets one voltage command.
        Join(line, std::string("APPL ") + rail + "," + Exact(found->get<double>()));
    }
    if (line.empty()) {
        return BadRequest("give \"positive_V\", \"negative_V\" or both");
    }
    return WebChange{line, std::string(kErrorCheck)};
}

std::variant<WebChange, WebAnswer> ProtectionChange(std::string_view body) {
    const auto object = ParsedObject(body);
    if (!object) {
        return BadRequest("a JSON object is needed, e.g. {\"positive\": {\"on\": true, "
                          "\"limit_mA\": 300}, \"delay_s\": 0.5}");
    }
    if (auto unknown = UnknownKeys(*object, {"positive", "negative", "delay_s"})) {
        return *unknown;
    }
    std::string line;
    if (auto problem = RailProtection(*object, "positive", 1, line)) {
        return *problem;
    }
    if (auto problem = RailProtection(*object, "negative", 2, line)) {
        return *problem;
    }
    if (const auto delay = object->find("delay_s"); delay != object->end()) {
        if (!delay->is_number()) {
            return BadRequest("\"delay_s\" must be a number of seconds");
        }
        Join(line, "CURR:PROT:DEL " + Exact(delay->get<double>()));
    }
    if (line.empty()) {
        return BadRequest("give \"positive\", \"negative\", \"delay_s\" or any of them");
    }
    return WebChange{line, std::string(kErrorCheck)};
}

WebChange ClearTrip() {
    return {"CURR:PROT:CLE", std::string(kErrorCheck)};
}

WebChange StopProgram() {
    return {"ABOR", std::string(kErrorCheck)};
}

std::optional<WebAnswer> Rehearsal(const WebChange& change) {
    scpi::Instrument stage{std::string()};
    scpi::Session session(stage);
    session.Receive(change.change + "\n" + change.check + "\n");
    for (;;) {
        auto step = session.Run();
        if (std::holds_alternative<scpi::Act>(step)) {
            session.Complete({});
            continue;
        }
        const auto* reply = std::get_if<scpi::Reply>(&step);
        if (!reply) {
            return std::nullopt;
        }
        std::string_view text = reply->text;
        if (text.ends_with('\n')) {
            text.remove_suffix(1);
        }
        WebAnswer answer = AnswerOf(text, {});
        if (answer.status == kHttpOk) {
            return std::nullopt;
        }
        return answer;
    }
}

WebAnswer AnswerOf(std::string_view checkReply, std::string_view done) {
    for (const auto answer : Answers(checkReply)) {
        const int error = ErrorNumber(answer);
        if (error == 0) {
            continue;
        }
        if (error == kSettingsConflict) {
            return {kHttpConflict, std::string(answer)};
        }
        if (error == kHardwareError || error == kHardwareMissing) {
            return {kHttpServiceUnavailable,
                    "the supply did not take it (" + std::string(answer) + ")"};
        }
        return {kHttpBadRequest, "refused (" + std::string(answer) + "): " + Why(error)};
    }
    return {kHttpOk, std::string(done)};
}

} // namespace pelmora::server
