#include "server/web/metrics_text.h"

#include "server/web/state_json.h"

#include <charconv>

namespace pelmora::server {

namespace {

constexpr double kMilliPerUnit = 1000.0;

std::string Number(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}

class Metrics {
public:
    void Declare(std::string_view name, std::string_view type, std::string_view help) {
        m_text.append("# HELP ").append(name).append(" ").append(help).append("\n");
        m_text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    }
    void Sample(std::string_view name, std::string_view labels, double value) {
        m_text.append(name);
        if (!labels.empty()) {
            m_text.append("{").append(labels).append("}");
        }
        m_text.append(" ").append(Number(value)).append("\n");
    }
    std::string Text() && { return std::move(m_text); }

private:
    std::string m_text;
};

constexpr std::string_view kPositive = "rail=\"positive\"";
constexpr std::string_view kNegative = "rail=\"negative\"";

} // namespace

std::string MetricsText(const SupplyView& view) {
    Metrics metrics;
    metrics.Declare("pelmora_current_amperes", "gauge",
                    "Current drawn from the rail: the mean of the polls since the output went on "
                    "or its voltages changed, the last ten at most; 0 with the output off.");
    metrics.Sample("pelmora_current_amperes", kPositive,
                   view.positiveMa.value_or(0) / kMilliPerUnit);
    metrics.Sample("pelmora_current_amperes", kNegative,
                   view.negativeMa.value_or(0) / kMilliPerUnit);
    metrics.Declare("pelmora_voltage_setting_volts", "gauge",
                    "The rail's voltage setting, negative on the negative rail.");
    metrics.Sample("pelmora_voltage_setting_volts", kPositive,
                   RailVolts(view.positiveCode, Rail::Positive));
    metrics.Sample("pelmora_voltage_setting_volts", kNegative,
                   RailVolts(view.negativeCode, Rail::Negative));
    metrics.Declare("pelmora_output_on", "gauge", "1 while the output is on.");
    metrics.Sample("pelmora_output_on", {}, view.outputOn ? 1 : 0);
    metrics.Declare("pelmora_supply_up", "gauge",
                    "1 while the supply is connected and answered its last poll.");
    metrics.Sample("pelmora_supply_up", {}, view.supplyUp && !view.supplySilent ? 1 : 0);
    metrics.Declare("pelmora_protection_limit_amperes", "gauge",
                    "The rail's over-current limit; only where its protection is on.");
    if (view.protection.positive.enabled) {
        metrics.Sample("pelmora_protection_limit_amperes", kPositive,
                       view.protection.positive.limitMa / kMilliPerUnit);
    }
    if (view.protection.negative.enabled) {
        metrics.Sample("pelmora_protection_limit_amperes", kNegative,
                       view.protection.negative.limitMa / kMilliPerUnit);
    }
    metrics.Declare("pelmora_tripped", "gauge", "1 while an over-current trip is latched.");
    metrics.Sample("pelmora_tripped", {}, view.trip ? 1 : 0);
    metrics.Declare("pelmora_trips_total", "counter",
                    "Over-current trips since the server started.");
    metrics.Sample("pelmora_trips_total", {}, static_cast<double>(view.trips));
    metrics.Declare("pelmora_program_running", "gauge", "1 while a program of steps runs.");
    metrics.Sample("pelmora_program_running", {}, view.program ? 1 : 0);
    return std::move(metrics).Text();
}

} // namespace pelmora::server
