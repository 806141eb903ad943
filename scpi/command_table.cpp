#include "scpi/command_table.h"

#include "scpi/handlers.h"
#include "scpi/header_pattern.h"

#include <array>

namespace pelmora::scpi {

namespace {

constexpr bool kAfterChanges = true;
constexpr bool kAnyTime = false;
// A list a line can carry: a program of a hundred steps fits well within one line.
constexpr std::size_t kMostListPoints = 100;

// The instrument's manual: header, handler, fewest and most parameters, and whether the line's
// changes reach the supply first.
constexpr std::array kCommands = {
    Command{"*CLS", ClearStatus, 0, 0, kAnyTime},
    Command{"*ESE", SetEventStatusEnable, 1, 1, kAnyTime},
    Command{"*ESE?", EventStatusEnableQuery, 0, 0, kAnyTime},
    Command{"*ESR?", EventStatusQuery, 0, 0, kAnyTime},
    Command{"*IDN?", IdentityQuery, 0, 0, kAnyTime},
    Command{"*OPC", OperationComplete, 0, 0, kAfterChanges},
    Command{"*OPC?", OperationCompleteQuery, 0, 0, kAfterChanges},
    Command{"*RST", Reset, 0, 0, kAnyTime},
    Command{"*SRE", SetServiceRequestEnable, 1, 1, kAnyTime},
    Command{"*SRE?", ServiceRequestEnableQuery, 0, 0, kAnyTime},
    Command{"*STB?", StatusByteQuery, 0, 0, kAnyTime},
    Command{"*TST?", SelfTestQuery, 0, 0, kAnyTime},
    Command{"*WAI", Wait, 0, 0, kAfterChanges},

    Command{"INSTrument[:SELect]", SelectRailByName, 1, 1, kAnyTime},
    Command{"INSTrument[:SELect]?", RailNameQuery, 0, 0, kAnyTime},
    Command{"INSTrument:NSELect", SelectRailByNumber, 1, 1, kAnyTime},
    Command{"INSTrument:NSELect?", RailNumberQuery, 0, 0, kAnyTime},
    Command{"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", SetVoltage, 1, 1, kAnyTime},
    Command{"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]?", VoltageQuery, 0, 1, kAnyTime},
    Command{"APPLy", ApplyVoltage, 2, 3, kAnyTime},
    Command{"APPLy?", AppliedVoltageQuery, 1, 1, kAnyTime},
    Command{"OUTPut[:STATe]", SetOutput, 1, 1, kAnyTime},
    Command{"OUTPut[:STATe]?", OutputQuery, 0, 0, kAnyTime},
    Command{"MEASure[:SCALar]:CURRent[:DC]?", MeasureCurrentQuery, 0, 1, kAfterChanges},
    Command{"FETCh[:SCALar]:CURRent[:DC]?", FetchCurrentQuery, 0, 1, kAfterChanges},
    Command{"[SOURce:]CURRent:PROTection[:LEVel]", SetProtectionLevel, 1, 1, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection[:LEVel]?", ProtectionLevelQuery, 0, 1, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection:STATe", SetProtectionState, 1, 1, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection:STATe?", ProtectionStateQuery, 0, 0, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection:DELay[:TIME]", SetProtectionDelay, 1, 1, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection:DELay[:TIME]?", ProtectionDelayQuery, 0, 1, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection:TRIPped?", ProtectionTrippedQuery, 0, 0, kAnyTime},
    Command{"[SOURce:]CURRent:PROTection:CLEar", ClearProtection, 0, 0, kAnyTime},
    Command{"[SOURce:]LIST:VOLTage", SetListVoltage, 1, kMostListPoints, kAnyTime},
    Command{"[SOURce:]LIST:VOLTage?", ListVoltageQuery, 0, 0, kAnyTime},
    Command{"[SOURce:]LIST:DWELl", SetListDwell, 1, kMostListPoints, kAnyTime},
    Command{"[SOURce:]LIST:DWELl?", ListDwellQuery, 0, 0, kAnyTime},
    Command{"[SOURce:]LIST:COUNt", SetListCount, 1, 1, kAnyTime},
    Command{"[SOURce:]LIST:COUNt?", ListCountQuery, 0, 0, kAnyTime},
    Command{"INITiate[:IMMediate]", Initiate, 0, 0, kAfterChanges},
    Command{"ABORt", Abort, 0, 0, kAfterChanges},

    Command{"STATus:OPERation[:EVENt]?", OperationEventQuery, 0, 0, kAnyTime},
    Command{"STATus:OPERation:CONDition?", OperationConditionQuery, 0, 0, kAnyTime},
    Command{"STATus:OPERation:ENABle", SetOperationEnable, 1, 1, kAnyTime},
    Command{"STATus:OPERation:ENABle?", OperationEnableQuery, 0, 0, kAnyTime},
    Command{"STATus:QUEStionable[:EVENt]?", QuestionableEventQuery, 0, 0, kAnyTime},
    Command{"STATus:QUEStionable:CONDition?", QuestionableConditionQuery, 0, 0, kAnyTime},
    Command{"STATus:QUEStionable:ENABle", SetQuestionableEnable, 1, 1, kAnyTime},
    Command{"STATus:QUEStionable:ENABle?", QuestionableEnableQuery, 0, 0, kAnyTime},
    Command{"STATus:PRESet", StatusPreset, 0, 0, kAnyTime},
    Command{"SYSTem:ERRor[:NEXT]?", NextErrorQuery, 0, 0, kAnyTime},
    Command{"SYSTem:ERRor:COUNt?", ErrorCountQuery, 0, 0, kAnyTime},
    Command{"SYSTem:VERSion?", VersionQuery, 0, 0, kAnyTime},
    Command{"SYSTem:PORT?", PortQuery, 0, 0, kAnyTime},
};

} // namespace

const Command* FindCommand(const std::vector<std::string>& mnemonics, bool query) {
    static const auto patterns = [] {
        std::vector<HeaderPattern> all;
        for (const auto& command : kCommands) {
            all.emplace_back(command.header);
        }
        return all;
    }();
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (patterns[i].Matches(mnemonics, query)) {
            return &kCommands[i];
        }
    }
    return nullptr;
}

} // namespace pelmora::scpi
