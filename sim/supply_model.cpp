#include "sim/supply_model.h"

#include "link/decimal_reading.h"

#include <algorithm>
#include <cmath>

namespace pelmora::sim {

namespace {

constexpr std::size_t kCodeLength = kDefaultVoltageCode.size();
constexpr double kTenthsPerVolt = 10.0;
constexpr double kMilliampsPerAmp = 1000.0;
constexpr char kFieldSeparator = ',';
constexpr char kPadding = ' ';
constexpr std::string_view kOffField = "000";

struct VoltagePair {
    std::string_view positiveCode;
    std::string_view negativeCode;
};

std::optional<VoltagePair> ParseVoltageCommand(std::string_view command) {
    if (command.size() != protocol::kVoltageCommandLength ||
        command.front() != protocol::kVoltageCommandLead ||
        command.back() != protocol::kTerminator) {
        return std::nullopt;
    }
    const VoltagePair pair{command.substr(1, kCodeLength),
                           command.substr(1 + kCodeLength, kCodeLength)};
    if (!IsVoltageCode(pair.positiveCode) || !IsVoltageCode(pair.negativeCode)) {
        return std::nullopt;
    }
    return pair;
}

std::string ThreeDigits(int value) {
    std::string digits = std::to_string(value);
    digits.insert(0, protocol::kCurrentFieldLength - digits.size(), '0');
    return digits;
}

} // namespace

SupplyModel::SupplyModel(const SimConfig& config)
    : m_identityReply(std::string(protocol::kIdentityReplyStem) + config.identitySuffix +
                      protocol::kTerminator),
      m_initialLoads{config.positiveLoadOhms, config.negativeLoadOhms},
      m_loadChanges(config.loadChanges), m_longCurrentReply(config.longCurrentReply),
      m_random(config.seed), m_noise(-config.noiseMa, config.noiseMa) {
    std::stable_sort(m_loadChanges.begin(), m_loadChanges.end(),
                     [](const LoadChange& a, const LoadChange& b) { return a.after < b.after; });
}

std::optional<std::string> SupplyModel::Handle(std::string_view command) {
    return Handle(command, Clock::now());
}

std::optional<std::string> SupplyModel::Handle(std::string_view command,
                                               Clock::time_point received) {
    if (command == protocol::kIdentityRequest) {
        return m_identityReply;
    }
    if (command == protocol::kCurrentRequest) {
        return CurrentReply(received);
    }
    if (command == protocol::kResetCommand) {
        m_state.outputOn = false;
    } else if (const auto voltages = ParseVoltageCommand(command)) {
        m_state = {true, std::string(voltages->positiveCode), std::string(voltages->negativeCode)};
        if (!m_firstOn) {
            m_firstOn = received;
        }
    }
    return std::nullopt;
}

std::string SupplyModel::CurrentReply(Clock::time_point at) {
    std::string reply(protocol::kCurrentReplyPrefix);
    const auto field = [this](std::string_view code, double loadOhms) {
        return m_state.outputOn ? ThreeDigits(RailCurrentMa(code, loadOhms))
                                : std::string(kOffField);
    };
    const Loads loads = LoadsAt(at);
    reply += kFieldSeparator;
    reply += field(m_state.positiveCode, loads.positiveOhms);
    reply += kFieldSeparator;
    reply += field(m_state.negativeCode, loads.negativeOhms);
    if (m_longCurrentReply) {
        reply.resize(kLongReplyLength - 1, kPadding);
    }
    reply += protocol::kTerminator;
    return reply;
}

SupplyModel::Loads SupplyModel::LoadsAt(Clock::time_point at) const {
    Loads loads = m_initialLoads;
    if (!m_firstOn) {
        return loads;
    }
    for (const LoadChange& change : m_loadChanges) {
        if (*m_firstOn + change.after > at) {
            break;
        }
        loads = {change.positiveOhms, change.negativeOhms};
    }
    return loads;
}

int SupplyModel::RailCurrentMa(std::string_view code, double loadOhms) {
    // A short draws more than the supply can show.
    if (loadOhms == kShortOhms) {
        return kMaxCurrentMa;
    }
    const double volts = DecimalReading(code) / kTenthsPerVolt;
    const double milliamps = volts / loadOhms * kMilliampsPerAmp + m_noise(m_random);
    return static_cast<int>(std::lround(std::clamp(milliamps, 0.0, double{kMaxCurrentMa})));
}

} // namespace pelmora::sim
