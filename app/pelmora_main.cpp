#include "app/command_line.h"
#include "app/demo_supply.h"
#include "app/supply_app.h"
#include "link/port_list.h"

#include <QtGlobal>
#include <exception>
#include <iostream>
#include <optional>

int main(int argc, char** argv) {
    const CommandLineRequest request = ReadCommandLine(argc, argv, std::cout, std::cerr);
    if (request.exitCode) {
        return *request.exitCode;
    }
    // The demo's port list holds its simulated supply and nothing else: it never probes the
    // user's own instruments.
    std::optional<DemoSupply> demo;
    if (request.demo) {
        try {
            demo.emplace(request.simArguments);
        } catch (const std::exception& error) {
            std::cerr << "Pelmora: " << error.what() << '\n';
            return 1;
        }
        qputenv(pelmora::kPortsVariable, QByteArray::fromStdString(demo->PortsEntry()));
    }
    CSupplyApp app(argc, argv);
    app.UseLanguage(request.language);
    app.InitInstance();
    return 0;
}
