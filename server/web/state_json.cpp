#include "server/web/state_json.h"

#include "link/decimal_reading.h"
#include "link/local_time.h"
#include "link/voltage_table.h"

#include <nlohmann/json.hpp>

namespace pelmora::server {

namespace {

using nlohmann::json;

constexpr double kTenthsPerVolt = 10.0;
constexpr const char* kRailNames[] = {"positive", "negative"};

json Optional(const std::optional<double>& value) {
    return value ? json(*value) : json(nullptr);
}

json RailJson(const SupplyView& view, Rail rail) {
    const bool positive = rail == Rail::Positive;
    const auto& code = positive ? view.positiveCode : view.negativeCode;
    const auto& limit = view.protection.Of(rail);
    return {{"code", code},
            {"voltage_V", RailVolts(code, rail)},
            {"current_mA", Optional(positive ? view.positiveMa : view.negativeMa)},
            {"protection", {{"on", limit.enabled}, {"limit_mA", limit.limitMa}}}};
}

json StepsJson(Rail rail) {
    json steps = json::array();
    for (const auto& step : kVoltageSteps) {
        steps.push_back(RailVolts(step.code, rail));
    }
    return steps;
}

json TripJson(const std::optional<overcurrent::TripRecord>& trip) {
    if (!trip) {
        return nullptr;
    }
    return {{"rail", kRailNames[trip->rail == Rail::Positive ? 0 : 1]},
            {"reading_mA", trip->readingMa},
            {"limit_mA", trip->limitMa},
            {"time", FormatLocalTimestamp(trip->when)}};
}

json ProgramJson(const SupplyView& view) {
    if (!view.program) {
        return nullptr;
    }
    const auto& program = *view.program;
    json left = nullptr;
    if (program.end) {
        left = std::max(0.0, std::chrono::duration<double>(*program.end - view.at).count());
    }
    return {{"step", program.step + 1},
            {"steps", program.steps},
            {"pass", program.pass + 1},
            {"passes", program.passes ? json(*program.passes) : json(nullptr)},
            {"left_s", left}};
}

} // namespace

double RailVolts(std::string_view code, Rail rail) {
    const double volts = DecimalReading(code) / kTenthsPerVolt;
    return rail == Rail::Negative ? -volts : volts;
}

std::string StateJson(const SupplyView& view) {
    const json state = {
        {"output", view.outputOn},
        {"supply",
         {{"up", view.supplyUp},
          {"silent", view.supplySilent},
          {"port", view.port},
          {"model", view.model},
          {"version", view.version}}},
        {"rails",
         {{"positive", RailJson(view, Rail::Positive)},
          {"negative", RailJson(view, Rail::Negative)}}},
        {"protection",
         {{"delay_s", static_cast<double>(view.protection.blanking.count()) / 1000.0},
          {"samples", view.protection.samples},
          {"trip", TripJson(view.trip)}}},
        {"program", ProgramJson(view)},
        {"trips", view.trips},
        {"steps",
         {{"positive", StepsJson(Rail::Positive)}, {"negative", StepsJson(Rail::Negative)}}},
    };
    return state.dump();
}

} // namespace pelmora::server
