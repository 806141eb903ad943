#include "link/command_input.h"
#include "link/port_list.h"
#include "sim/child_process.h"
#include "sim/ports_entry.h"
#include "sim/signals.h"
#include "sim/sim_options.h"
#include "sim/simulated_supply.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kProgram = "pelmora-sim";
constexpr int kFailureExitCode = 1;
constexpr int kUsageExitCode = 2;

} // namespace

int main(int argc, char** argv) {
    using namespace pelmora::sim;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    SimOptions options;
    try {
        options = ParseArguments(arguments);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << "\nTry '" << kProgram
                  << " --help' for more information.\n";
        return kUsageExitCode;
    }
    if (options.showHelp) {
        std::cout << UsageText();
        return EXIT_SUCCESS;
    }
    if (options.showVersion) {
        std::cout << kProgram << ' ' << PELMORA_VERSION << '\n';
        return EXIT_SUCCESS;
    }

    const sigset_t handled = BlockHandledSignals();
    try {
        SimulatedSupply supply(options.config);
        const std::string entry = PortsEntry(options.portName, supply.SlavePath());
        if (options.command.empty()) {
            std::cout << pelmora::kPortsVariable << '=' << entry << std::endl;
            WaitForStopSignal(handled);
            return EXIT_SUCCESS;
        }
        const char* existing = std::getenv(pelmora::kPortsVariable);
        return RunCommand(options.command, ChainedPortsValue(entry, existing), handled);
    } catch (const std::exception& error) {
        // Such as the log file or the link, as the command line named them.
        std::cerr << kProgram << ": " << pelmora::CutInputsIn(error.what(), arguments) << '\n';
        return kFailureExitCode;
    }
}
